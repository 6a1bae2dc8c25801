// The main window's menus: 历史管理 (also the history grid's right-click menu), 分析, 设置 (also opened by
// 软件设置), 彩种选择. Each entry keeps its fixed objectName. main_menus.cpp also holds the window's
// commands of these menus that are its own: the province chosen, the settings, the help pages.
#pragma once
#include <QString>
#include <array>

#include "store/province.h"

class QAction;
class QMenu;
class QMenuBar;

namespace k3 {

class MainMenus {
public:
    // Builds the menus on the window's menu bar (which owns them).
    explicit MainMenus(QMenuBar& bar);

    // The entries of 历史管理 that change the history.
    std::array<QAction*, 4> historyChangingActions() const {
        return {deleteNewest, clearHistory, deleteToIssue, deleteLast};
    }
    // Ticks the province's entry and no other.
    void tickLottery(int index);
    void tickSegmentBase(int base);
    void setLotteryEnabled(bool on);

    QMenu* history = nullptr;
    QAction* exportHistory = nullptr;
    QAction* deleteNewest = nullptr;
    QAction* clearHistory = nullptr;
    QAction* deleteToIssue = nullptr;
    QAction* deleteLast = nullptr;

    QMenu* analysis = nullptr;
    QAction* overview = nullptr;
    QAction* fairness = nullptr;
    QAction* backtest = nullptr;
    QAction* trend = nullptr;
    QAction* watch = nullptr;

    QMenu* settings = nullptr;
    QMenu* segmentBase = nullptr;
    std::array<QAction*, 2> segmentBaseActions{};
    QAction* lookBack = nullptr;
    QAction* updateAddress = nullptr;
    QAction* homePage = nullptr;
    QAction* manual = nullptr;
    QAction* walkthrough = nullptr;

    QMenu* lottery = nullptr;
    std::array<QAction*, kProvinceCount> lotteryActions{};
};

}  // namespace k3
