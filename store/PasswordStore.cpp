#include "store/PasswordStore.h"

QString KeyringProblemText(const PasswordResult& result)
{
    switch (result.kind) {
    case PasswordResult::Done:
        return QStringLiteral("the system keyring answered");
    case PasswordResult::NotFound:
        return QStringLiteral("the system keyring holds no password for it");
    case PasswordResult::NoKeyring:
        return QStringLiteral("no system keyring is running (no Secret Service on the session bus)");
    case PasswordResult::NoAnswer:
        return result.text.isEmpty() ? QStringLiteral("the system keyring did not answer")
                                     : QStringLiteral("the system keyring did not answer (%1)").arg(result.text);
    case PasswordResult::Locked:
        return QStringLiteral("the system keyring is locked");
    case PasswordResult::Refused:
        return QStringLiteral("the system keyring refused access");
    case PasswordResult::OtherError:
        break;
    }
    return result.text.isEmpty() ? QStringLiteral("the system keyring reported an error")
                                 : QStringLiteral("the system keyring reported an error: ") + result.text;
}
