#include "session/SshProbe.h"

#include <QTimer>

#include "session/SshTransport.h"

namespace {
// A greeting is one short line; anything longer without a line end is not a control server's.
constexpr qsizetype GreetingLimit = 1024;

SshProbe::Outcome OutcomeOf(SshTransport::FailureKind kind)
{
    using K = SshTransport::FailureKind;
    switch (kind) {
    case K::HostKeyChanged:
    case K::HostKeyUnknown: return SshProbe::Outcome::HostKey;
    case K::AuthenticationRefused: return SshProbe::Outcome::Authentication;
    case K::UnknownHost:
    case K::Network: return SshProbe::Outcome::Network;
    case K::ForwardRefused: return SshProbe::Outcome::NoControlServer;
    case K::NoSshProgram: return SshProbe::Outcome::NoSsh;
    case K::BadRoute: return SshProbe::Outcome::Settings;
    default: return SshProbe::Outcome::Other;
    }
}
}  // namespace

SshProbe::SshProbe(const SshRoute& route, QObject* parent) : QObject(parent), route_(route) {}

SshProbe::~SshProbe()
{
    if (transport_)
        transport_->release(true);
}

void SshProbe::start(const QString& address, quint16 port)
{
    address_ = address.trimmed();
    port_ = port;
    auto* transport = new SshTransport(route_, this);
    transport->setAskpassProgram(askpass_);
    transport_ = transport;
    connect(transport, &Transport::readyRead, this, &SshProbe::readGreeting);
    connect(transport, &Transport::closed, this, [this] {
        finish(Outcome::NoControlServer,
               QStringLiteral("The SSH host %1 connected to %2 port %3, but it closed without a greeting: "
                              "no control server answers there")
                   .arg(route_.host.trimmed(), address_)
                   .arg(port_));
    });
    connect(transport, &Transport::failed, this, [this, transport](int, const QString& description) {
        finish(OutcomeOf(transport->failureKind()), description);
    });
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] {
        finish(Outcome::NoControlServer,
               QStringLiteral("No greeting came through the SSH host %1 from %2 port %3 within %4 seconds")
                   .arg(route_.host.trimmed(), address_)
                   .arg(port_)
                   .arg(timeoutMs_ / 1000));
    });
    timer_->start(timeoutMs_);
    transport->open(address_, port_);
}

void SshProbe::cancel()
{
    finish(Outcome::Other, QStringLiteral("The test was cancelled"));
}

void SshProbe::readGreeting()
{
    if (!transport_ || outcome_ != Outcome::Running)
        return;
    received_ += transport_->device()->readAll();
    const qsizetype end = received_.indexOf('\n');
    if (end < 0) {
        if (received_.size() > GreetingLimit)
            finish(Outcome::NoControlServer,
                   QStringLiteral("Something other than a control server answers at %1 port %2 behind the SSH host %3")
                       .arg(address_)
                       .arg(port_)
                       .arg(route_.host.trimmed()));
        return;
    }
    const QString line = QString::fromLatin1(received_.left(end)).trimmed();
    if (line.startsWith(QLatin1Char('+')))
        finish(Outcome::Greeted, QStringLiteral("Connected through the SSH host %1; the server at %2 port %3 "
                                                "greeted: %4")
                                     .arg(route_.host.trimmed(), address_)
                                     .arg(port_)
                                     .arg(line));
    else
        finish(Outcome::NoControlServer,
               QStringLiteral("The server at %1 port %2 behind the SSH host %3 did not greet as a control server "
                              "does: %4")
                   .arg(address_)
                   .arg(port_)
                   .arg(route_.host.trimmed(), line));
}

void SshProbe::finish(Outcome outcome, const QString& text)
{
    if (outcome_ != Outcome::Running)
        return;
    outcome_ = outcome;
    text_ = text;
    if (timer_)
        timer_->stop();
    // The test opens one connection and ends it: nothing is sent to the server.
    if (transport_)
        transport_->release(true);
    emit finished();
}
