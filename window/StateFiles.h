#pragma once
// The state file in the window (File menu): "Save State..." writes the shown domain's state file,
// "Compare with State File..." shows the plan from the server to a file in a PlanDialog, and
// "Compare with Server..." (for the selected server) the plan that makes it hold what another
// stored server holds. The reads and the run go through the session floor's StateReader and
// PlanRunner, each on a session of its own, so the window's own session and its editors are left
// as they are; the tree is read again once a plan has run.

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "session/ActivityJournal.h"

#include "session/Plan.h"
#include "session/StateReader.h"
#include "window/PlanDialog.h"

class frmMain;
class PlanRunner;
class QAction;

class StateFiles : public QObject {
    Q_OBJECT
public:
    explicit StateFiles(frmMain& window);
    ~StateFiles() override;

    QAction* saveAction() const { return save_; }
    QAction* compareFileAction() const { return compareFile_; }
    QAction* compareServerAction() const { return compareServer_; }

    // The file dialogs and the choice of the other server; tests put their own choice here. An
    // empty answer means the user cancelled.
    std::function<QString(const QString& suggestedPath)> chooseSaveFile;
    std::function<QString()> chooseOpenFile;
    std::function<QString(const QStringList& names)> chooseServer;

    void saveState();
    void compareWithFile();
    void compareWithServer();

    PlanDialog* dialog() const { return dialog_; }
    bool busy() const;

private:
    bool shownDomain(QString* serverKey, QString* domain);
    bool serverOf(const QString& serverKey, ScriptServer* server);
    void read(const ScriptServer& server, const StateReader::Request& request,
              std::function<void(const ServerState&)> then);
    void showPlan(const ScriptServer& server, const ServerState& desired, const QString& title);

    frmMain& w_;
    QAction* save_;
    QAction* compareFile_;
    QAction* compareServer_;
    StateReader* reader_;
    StateReader* otherReader_;
    PlanRunner* runner_;
    QPointer<PlanDialog> dialog_;
    std::unique_ptr<ActivityJournal> journal_;
};
