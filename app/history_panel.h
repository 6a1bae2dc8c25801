// The history panel: the history grid, the row where the newest draw is typed, and the buttons of the
// history commands. It shows the session's history and stores a typed draw through it; the other
// commands are announced by signals.
#pragma once
#include <QWidget>
#include <array>
#include <memory>

#include "store/derive.h"
#include "store/snapshot.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace k3 {

class HistoryModel;
class HistorySession;
class OneRowWheel;
class Prompter;

class HistoryPanel : public QWidget {
    Q_OBJECT

public:
    HistoryPanel(HistorySession& session, Prompter& prompter, OneRowWheel& wheel, QWidget* parent = nullptr);

    // Shows the issue after the newest stored draw as the issue of the next typed draw.
    void showNextIssue();
    // The buttons and entry boxes that change the history.
    void setHistoryCommandsEnabled(bool on);
    // Also the export button (a database that could not be opened).
    void setAllCommandsEnabled(bool on);
    void focusEntry();
    void setGridVisible(bool visible);

signals:
    void updateRequested();
    void importRequested();
    void deleteNewestRequested();
    void exportTextRequested();
    void settingsMenuRequested();
    void gridExportRequested();
    void historyMenuRequested(const QPoint& globalPos);
    void drawTyped(const k3::DerivedDraw& draw);
    void statusMessage(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The history grid refilled from the history, scrolled to the newest draw; the next issue shown.
    void reloadHistoryGrid(std::shared_ptr<const Snapshot> snapshot);
    void diceEditChanged(int index);
    void diceEntered(int index);
    void focusDiceBox(int index);
    bool storeTypedDraw();
    void storeWaitingDraw();
    void leaveProvince();

    HistorySession& m_session;
    Prompter& m_prompter;
    QTableView* m_historyGrid = nullptr;
    HistoryModel* m_historyModel = nullptr;
    QLabel* m_entryLabel = nullptr;
    QLineEdit* m_nextIssueEdit = nullptr;
    std::array<QLineEdit*, 3> m_typedDiceEdits{};
    QPushButton* m_updateButton = nullptr;
    QPushButton* m_importButton = nullptr;
    QPushButton* m_deleteNewestButton = nullptr;
    QPushButton* m_exportTextButton = nullptr;
    QPushButton* m_settingsButton = nullptr;
    bool m_fillingDice = false;       // the boxes are being set here: their changes are not typing
    bool m_selectOnRelease = false;   // a dice box got the focus by a click still being made
    bool m_typedDrawWaiting = false;  // a typed draw waits for the check for damage
    bool m_followNewest = false;      // the grid shows the newest draw and keeps it in view
    bool m_reloading = false;         // the grid is being refilled: its scroll bar moves by itself
};

}  // namespace k3
