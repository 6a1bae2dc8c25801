// The search panel: where the search values come from (typed, or a chosen draw of the history), the
// positions searched, fixed or free positions, the range of issues, and the search and partial-search
// buttons. It reads the controls into the analyses' inputs and keeps the range and the chosen draw in
// step with the history.
#pragma once
#include <QWidget>
#include <array>
#include <memory>

#include "search/search.h"
#include "store/snapshot.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabBar;

namespace k3 {

class HistorySession;
enum class HistoryOrigin;

class SearchPanel : public QWidget {
    Q_OBJECT

public:
    explicit SearchPanel(HistorySession& session, QWidget* parent = nullptr);

    // The analyses' inputs as the controls show them; a value still being typed counts, as when its
    // box loses the focus to the button.
    SearchInput searchInput();
    PartialInput partialInput();
    std::string rangeStart() const;
    std::string rangeEnd() const;

    // The whole history as the range, then the values of the active tab (after a history command).
    void showWholeRange();
    void setRangeEnd(int64_t issue);
    // The newest issue as the chosen issue.
    void showLastIssue();
    // Search values from the active tab: the chosen draw on the second tab, the typed values on the first.
    void refreshFromActiveTab(bool readTyped = true);
    void setSearchEnabled(bool on);

signals:
    void searchRequested();
    // 加入遗漏提醒 beside 检索: the search as the boxes give it.
    void watchRequested();
    void partialSearchRequested();
    void statusMessage(const QString& text);
    // The range boxes show another range: set by the window, or typed and left (or confirmed by Enter).
    void rangeChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void followHistory(std::shared_ptr<const Snapshot> snapshot, HistoryOrigin origin);
    void showChosenDraw();
    void valueSourceChanged(int tab);
    void onlyBeforeChosenClicked();
    void positionModeClicked(bool free);
    void readTypedValue(int index);
    void readPartialWidth();
    void readEditedValues();
    std::array<std::string, 3> valueTexts() const;
    // An issue as the boxes show it (issueText of the session's lottery).
    QString issueString(int64_t issue) const;

    HistorySession& m_session;
    std::shared_ptr<const Snapshot> m_snapshot;  // the history the range and the chosen draw refer to

    QTabBar* m_valueSourceTabs = nullptr;
    QStackedWidget* m_valuePages = nullptr;  // the typed values, or the chosen draw
    QGroupBox* m_typedValuesFrame = nullptr;
    std::array<QCheckBox*, 3> m_typedPositionChecks{};
    std::array<QLineEdit*, 3> m_typedValueEdits{};
    QGroupBox* m_chosenValuesFrame = nullptr;
    std::array<QCheckBox*, 3> m_chosenPositionChecks{};
    std::array<QLineEdit*, 3> m_chosenValueEdits{};
    QCheckBox* m_onlyBeforeChosenCheck = nullptr;
    QLineEdit* m_chosenIssueEdit = nullptr;
    QGroupBox* m_positionModeFrame = nullptr;
    QRadioButton* m_fixedPositionsOption = nullptr;
    QRadioButton* m_freePositionsOption = nullptr;
    QGroupBox* m_rangeFrame = nullptr;
    QLabel* m_rangeStartLabel = nullptr;
    QLineEdit* m_rangeStartEdit = nullptr;
    QLabel* m_rangeDashLabel = nullptr;
    QLineEdit* m_rangeEndEdit = nullptr;
    QLabel* m_rangeEndLabel = nullptr;
    QPushButton* m_searchButton = nullptr;
    QPushButton* m_watchButton = nullptr;
    QGroupBox* m_partialFrame = nullptr;
    QLabel* m_partialWidthLabel = nullptr;
    QComboBox* m_partialWidthCombo = nullptr;
    QPushButton* m_partialSearchButton = nullptr;

    std::array<int, 3> m_searchValues{};  // positions 1..3
    bool m_valuesTyped = true;            // the values came from the typed boxes, not a chosen draw
};

}  // namespace k3
