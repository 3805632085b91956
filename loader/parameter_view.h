#pragma once
// The parameter view of one panel: every key of the controller's two records, in collapsible
// groups of what they configure, with its current value, its default and optionally a file's
// value; sorting by any column; searching keys and values; editing with undo, resetting
// to the defaults, applying through the verified path of Update, and saving what it shows.
//
// The view never touches the controller itself. Each exchange is handed to the panel's
// runner, which runs it with the panel's controller where the panel runs its exchanges and
// then calls back on the GUI thread.

#include "loader/parameter_table.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <set>

class ControllerSession;
class RecordingSource;
class ParameterDelegate;
class ParameterModel;
class QPushButton;
namespace Ui {
class ParameterView;
}

// Runs job with the panel's controller, then done on the thread of context unless context is
// gone by then. When the job cannot be run (no controller) done is called all the same, with
// the reason; otherwise with an empty text.
using SessionJob = std::function<void(ControllerSession&)>;
using SessionDone = std::function<void(const QString& notRun)>;
using SessionRunner = std::function<void(QObject* context, SessionJob job, SessionDone done)>;

class ParameterView : public QDialog {
    Q_OBJECT

public:
    // A yes-or-no question to the user; true for yes.
    using AskFunction = std::function<bool(QWidget* parent, const QString& title, const QString& text)>;

    // writable: the controller takes configurations (firmware 5.2); otherwise nothing can be
    // applied, though the parameters can still be seen and saved.
    ParameterView(SessionRunner runner, const QString& deviceName, bool writable, QWidget* parent = nullptr);
    ~ParameterView() override;

    // Reads the controller's records into the table; emits loaded when done.
    void load();
    bool isBusy() const { return busy_; }
    ParameterModel* model() const { return model_; }
    // Where an apply is recorded (null: it is not), as the panel's own updates are.
    void setRecording(std::shared_ptr<RecordingSource> recording) { recording_ = std::move(recording); }
    // Replaces the question asked before edits are thrown away (tests answer it themselves).
    void setAskFunction(AskFunction ask) { ask_ = std::move(ask); }

    // Closing (Close, Escape, the window's close button) with edits not yet applied asks
    // first; during an exchange the view stays open until the controller has answered.
    void reject() override;

signals:
    void loaded(bool ok);
    void applied(bool ok);
    void busyChanged(bool busy);

private:
    // Spans the heading rows over every column and opens the groups not collapsed by the user.
    void showHeadings();
    void collapseGroups();
    void sortBy(int column);
    void setBusy(bool busy, const QString& status);
    void updateButtons();
    void showStatus(const QString& text);
    bool mayDiscardEdits(const QString& action);
    void compareWithFile();
    void saveAs();
    void apply();
    void reload();
    void finishApply(const ApplyResult& result, const std::optional<ParameterSnapshot>& snapshot,
                     const std::string& readError);

    std::unique_ptr<Ui::ParameterView> ui_;
    SessionRunner runner_;
    std::shared_ptr<RecordingSource> recording_;
    QString deviceName_;
    bool writable_;
    ParameterModel* model_;
    ParameterDelegate* delegate_;
    AskFunction ask_;
    bool busy_ = false;
    QPushButton* undoButton_ = nullptr;
    QPushButton* takeFileButton_ = nullptr;
    std::set<int> collapsed_; // the HeadingIdRole of each heading the user collapsed
};
