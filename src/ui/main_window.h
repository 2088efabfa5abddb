#pragma once
// The operator's window: a thin Qt binding over MainWindowLogic. Widgets forward the
// operator's actions to the logic and then show the control states it leaves. Commands run
// on the Workbench's worker thread and report through the QtOperator.

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "app/main_window_logic.h"
#include "app/workbench.h"
#include "ui/qt_operator.h"

class QGridLayout;
class QGroupBox;
class QLabel;
class QMenu;
class QVBoxLayout;
class QLocalServer;
class QProgressBar;
class QTabBar;
class QTimer;
class QMenuBar;
class QAction;

namespace tarnel::ui {

class HexView;
class ResultPanelWidget;

class MainWindow : public QDialog {
    Q_OBJECT
  public:
    MainWindow(Clock& clock, PortFactory& ports, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up before the window is first shown; listens for the external trigger at
    // triggerPath unless it is empty.
    void startUp(const QString& workDirectory, const QString& triggerPath);

    // File choices; the platform's dialogs unless a test replaces them. An empty answer is
    // a cancel.
    void setImagePathChooser(std::function<QString(const LoadFileRequest&)> choose) {
        chooseImagePath_ = std::move(choose);
    }
    void setProjectPathChooser(std::function<QString(bool save)> choose) {
        chooseProjectPath_ = std::move(choose);
    }
    // The answer to "close while a command runs?"; a question box unless a test replaces it.
    void setCloseConfirmer(std::function<bool()> confirm) { confirmClose_ = std::move(confirm); }

    MainWindowLogic& logic() { return *logic_; }
    Workbench& workbench() { return *bench_; }
    QtOperator& windowOperator() { return op_; }
    QWidget* control(Control c) const { return controls_[static_cast<std::size_t>(c)]; }
    HexView* hexView() const { return hexView_; }
    QTabBar* imageTabs() const { return tabs_; }
    QLabel* statusLine() const { return status_; }
    QProgressBar* progressBar() const { return progress_; }
    QAction* aboutAction() const { return about_; }
    QAction* advancedAction() const { return advanced_; }
    QMenu* recentMenu() const { return recentMenu_; }
    ResultPanelWidget* resultPanel() const { return panel_; }

    // Shows the logic's control states (as they look while busy) and the result panel.
    void applyState();

    // The window's handlers, as the buttons and menus call them.
    void showAbout();
    void showAdvancedFunctions();
    void receiveTrigger();

  signals:
    // A command's worker has ended and the window shows its outcome.
    void commandEnded();
    // The window has closed for good: the settings are saved and no worker runs.
    void windowClosed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void reject() override;  // Escape closes the window as the close box does

  private:
    void setControl(Control c, QWidget* w);
    void buildControls();
    void buildMenu();
    QGroupBox* buildTypeGroup();
    QGroupBox* buildPartGroup();
    QGroupBox* buildItemsGroup();
    QGridLayout* buildButtons();
    QVBoxLayout* buildImageArea();
    void buildBottomLines(QVBoxLayout* layout);
    void connectControls();
    void showPanel();
    void fillRecentMenu();
    void loadProjectFrom(const QString& path);
    // The tab an image dropped at this point goes to: the tab under it, or the shown tab
    // over the hex view; none elsewhere.
    std::optional<int> imageDropTab(QPoint at) const;
    bool askToClose();
    void afterCommand(bool started);
    void watchWorker();
    void closeResultBox();
    void loadFile();
    void loadProject();
    void saveProject();
    void openConfigView();

    QtOperator op_;
    std::unique_ptr<Workbench> bench_;
    std::unique_ptr<MainWindowLogic> logic_;

    std::array<QWidget*, kControlCount> controls_{};
    std::array<std::optional<ControlState>, kControlCount> applied_{};
    HexView* hexView_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QAction* about_ = nullptr;
    QAction* advanced_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    ResultPanelWidget* panel_ = nullptr;
    QTimer* productionTimer_ = nullptr;
    QTimer* workerWatch_ = nullptr;
    QLocalServer* triggerServer_ = nullptr;
    std::uint64_t shownImageRevision_ = ~std::uint64_t{0};
    bool closing_ = false;
    bool mayClose_ = false;

    std::function<QString(const LoadFileRequest&)> chooseImagePath_;
    std::function<QString(bool)> chooseProjectPath_;
    std::function<bool()> confirmClose_;
};

}  // namespace tarnel::ui
