// The online update's commands of HistoryCommands: the update itself, the question about draws that do
// not fit the province, and the dialog of the address template with its 试读.
#include <QDate>
#include <QDialog>
#include <QDir>
#include <QUrl>

#include "history/online_update.h"
#include "history_commands.h"
#include "history_session.h"
#include "prompter.h"
#include "settings/settings.h"
#include "store/issue.h"
#include "update_address_dialog.h"

namespace k3 {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
QString qe(const std::exception& e) { return QString::fromUtf8(e.what()); }

// Time limit of the whole GET of the online update.
constexpr long kUpdateTimeLimitSeconds = 60;

std::chrono::year_month_day today() {
    const QDate d = QDate::currentDate();
    return std::chrono::year_month_day{std::chrono::year{d.year()},
                                       std::chrono::month{static_cast<unsigned>(d.month())},
                                       std::chrono::day{static_cast<unsigned>(d.day())}};
}

// Why an address template cannot be used, or nothing.
QString addressProblem(const QString& t) {
    const QString scheme = QUrl(QString::fromStdString(expandUrl(t.toStdString(), "fj", 1))).scheme().toLower();
    if (scheme == "http" || scheme == "https" || scheme == "file") return {};
    return QString("「%1」不是 http、https 或 file 地址").arg(t);
}

// What 试读 found on the page: the draws an update would add, the shape, a misfit; nothing is stored.
QString tryReadReport(const FetchedUpdate& f, bool runningNumbers) {
    QString text = QString("地址：%1\n").arg(q(f.plan.url));
    if (!f.plan.shape.empty()) text += QString("格式：%1\n").arg(q(f.plan.shape));
    if (f.draws.empty())
        text +=
            "试读：没有可新增的号码" + (f.plan.emptyReason.empty() ? QString() : "（" + q(f.plan.emptyReason) + "）");
    else
        text += QString("试读：可新增 %1 期（%2—%3）")
                    .arg(f.draws.size())
                    .arg(q(issueText(f.draws.front().sqqh, runningNumbers)),
                         q(issueText(f.draws.back().sqqh, runningNumbers)));
    if (f.plan.misfit) text += "\n注意：" + q(f.plan.misfit->message());
    return text + "\n未保存任何号码。";
}
}  // namespace

// ---------------------------------------------------------------- online update

// What the update's task hands back.
struct UpdateRun {
    UpdatePlan plan;
    bool fetched = false;  // the page was read: a failure after it is one of storing
    bool noDraws = false;
    std::vector<DerivedDraw> draws;  // held back while the question about a misfit is asked
    UpdateOutcome outcome;
};

void HistoryCommands::startOnlineUpdate() {
    if (!m_session.canChange() || refuseWhileBusy()) return;
    // The address the program ships with is only an example: the player must name a page first.
    if (!m_session.updateUrlSet()) {
        m_prompter.tell("历史号在线更新",
                        "还没有设置历史号码的更新地址，无法在线更新。\n\n请在接下来的“在线更新地址”中填写列出开奖号码"
                        "的网页的地址（以后可在“设置”菜单中修改）。");
        if (!askUpdateAddress()) {
            emit statusMessage("没有设置更新地址，未在线更新");
            return;
        }
    }
    if (!m_prompter.askOkCancel(
            "读入历史",
            "确实要在线更新最新历史号码吗？更新可能要花费一段时间，网络不通或者我方服务器更新不及时可"
            "能都造成更新失败！"))
        return;
    const UpdateRequest request = m_session.updateRequest(today(), kUpdateTimeLimitSeconds);
    UpdatePlan plan;
    try {
        plan = planRequest(m_session.store(), request);
    } catch (const std::exception& e) {
        emit statusMessage(QString("无法读取历史号码: %1").arg(qe(e)));
        return;
    }
    auto run = std::make_shared<UpdateRun>();
    run->plan = plan;
    emit statusMessage(QString("正在在线更新: %1").arg(q(plan.url)));
    // The fetch and the parse touch no database; the draws are stored unless a cancel came first, or the page
    // holds draws that cannot be the province's (asked about first).
    runCommand(
        {"历史号在线更新", QString("正在取得 %1 …").arg(q(plan.url)), true},
        [run, request](HistoryStore& store, TaskControl& control) {
            UpdateRequest req = request;
            req.cancel = control.cancelFlag();
            FetchedUpdate f = fetchUpdate(run->plan, req);
            run->plan = f.plan;
            run->fetched = true;
            if (f.draws.empty()) {
                run->noDraws = true;
                return Stored<NoValue>{};
            }
            if (f.plan.misfit) {
                run->draws = std::move(f.draws);
                return Stored<NoValue>{};
            }
            run->outcome = applyUpdate(store, f.plan, f.draws, control.cancelFlag());
            return Stored<NoValue>{{}, true};
        },
        [this, run](TaskOutcome<NoValue>& outcome) {
            if (!outcome.failed() && !run->noDraws && run->plan.misfit) {
                askAboutMisfit(run);
                return;
            }
            reportUpdate(run, outcome);
        });
}

// The page holds draws that cannot be the province's: stored only when the player takes those that fit
// anyway; 取消 is the default.
void HistoryCommands::askAboutMisfit(std::shared_ptr<UpdateRun> run) {
    const QString question = QString("%1。\n\n仍要只新增其中符合%2的 %3 期吗？")
                                 .arg(q(run->plan.misfit->message()), QString::fromUtf8(m_session.lottery().caption))
                                 .arg(run->draws.size());
    if (!m_prompter.askOkCancel("历史号在线更新", question, true)) {
        emit statusMessage("已取消在线更新，历史号码未作改动");
        return;
    }
    runCommand(
        {"历史号在线更新", "正在保存更新的号码…", true},
        [run](HistoryStore& store, TaskControl& control) {
            run->outcome = applyUpdate(store, run->plan, run->draws, control.cancelFlag());
            return Stored<NoValue>{{}, true};
        },
        [this, run](TaskOutcome<NoValue>& outcome) { reportUpdate(run, outcome); });
}

void HistoryCommands::reportUpdate(const std::shared_ptr<UpdateRun>& run, TaskOutcome<NoValue>& outcome) {
    const UpdatePlan& plan = run->plan;
    const QString cancelled = "已取消在线更新，历史号码未作改动";
    QString msg;
    if (outcome.failed()) {
        if (outcome.cancelled() || outcome.failedWith<UpdateCancelled>())
            msg = cancelled;
        else if (run->fetched)
            msg = QString("保存更新失败，历史号码未作改动：%1").arg(outcome.errorText());
        else
            msg = QString("在线更新失败，历史号码未作改动：%1").arg(outcome.errorText());
    } else if (run->noDraws) {
        msg = plan.start ? QString("没有新的历史号码：页面中没有期号 %1 到 %2 的号码，历史号码未作改动")
                               .arg(*plan.start)
                               .arg(plan.end)
                         : QString("没有新的历史号码：页面中没有找到“开奖时间”之后的期号，历史号码未作改动");
        if (plan.misfit) msg += "（" + q(plan.misfit->message()) + "）";
    } else {
        msg = QString("在线更新完成：新增 %1 期").arg(run->outcome.added);
        if (run->outcome.removed) msg += QString("，删除 %1 年以前的 %2 期").arg(plan.years).arg(run->outcome.removed);
    }
    emit statusMessage(msg);
    m_prompter.tell("历史号在线更新", msg);
}

bool HistoryCommands::askUpdateAddress() {
    const Province& lottery = m_session.lottery();
    const QString code = QString::fromUtf8(lottery.code);
    UpdateAddressQuestion question;
    question.prompt =
        QString(
            "请输入历史号码的更新地址，即列出开奖号码的网页的地址。地址中的 {code} 会换成彩种代码，{n} 会换成要取的期数"
            "（天数×每天期数），{date} 会换成今天的日期（如 2019-10-28）。\n\n例如地址 "
            "http://www.example.com/kaijiang/{code}.html?n={n}：%1（代码 %2，每天 %3 期）更新三天的号码时，取的是 "
            "http://www.example.com/kaijiang/%2.html?n=%4。软件自带的 %6 只是例子，不能直接使用。\n\n"
            "网页可以是开奖表格、JSON 或文字。也可以先把开奖网页另存到本机，再填它的 file: 地址，例如 %5。\n\n"
            "可用 http、https 或 file 地址；“试读”取得网页并列出将新增的号码，不保存；留空则清除已设置的地址。")
            .arg(QString::fromUtf8(lottery.caption), code)
            .arg(lottery.drawsPerDay)
            .arg(3 * lottery.drawsPerDay)
            .arg(QUrl::fromLocalFile(QDir::homePath() + "/" + code + ".html").toString(), Settings::defaultUpdateUrl());
    question.preset = m_session.updateUrlSet() ? m_session.updateUrl() : QString();
    question.tryRead = [this](const QString& tmpl, QObject* context, UpdateAddressQuestion::Show show) {
        return tryReadAddress(tmpl, context, std::move(show));
    };
    auto answer = m_prompter.askUpdateAddress(question);
    if (!answer) return false;
    const QString t = answer->trimmed();
    if (t.isEmpty()) {
        m_session.setUpdateUrl("");
        emit statusMessage("已清除更新地址，在线更新前请重新设置");
        return false;
    }
    if (const QString why = addressProblem(t); !why.isEmpty()) {
        m_prompter.tell("在线更新地址", why + "，更新地址未改动。");
        return false;
    }
    m_session.setUpdateUrl(t);
    emit statusMessage(QString("更新地址: %1").arg(t));
    return true;
}

std::shared_ptr<TaskControl> HistoryCommands::tryReadAddress(const QString& tmpl, QObject* context,
                                                             std::function<void(const QString&)> show) {
    if (const QString why = addressProblem(tmpl); !why.isEmpty()) {
        show(why + "，无法试读");
        return nullptr;
    }
    UpdateRequest req = m_session.updateRequest(today(), kUpdateTimeLimitSeconds);
    req.urlTemplate = tmpl.toStdString();
    UpdatePlan plan;
    try {
        // The newest stored issue decides the range; an empty or closed history asks for the whole window.
        plan = m_session.isOpen() ? planRequest(m_session.store(), req)
                                  : planUpdate(std::nullopt, req.runningNumbers, req.drawsPerDay, req.years, req.today);
        if (!m_session.isOpen()) plan.url = expandUrl(req.urlTemplate, req.code, plan.count, req.today);
        plan.caption = req.caption;
    } catch (const std::exception& e) {
        show(QString("无法读取历史号码，无法试读：%1").arg(qe(e)));
        return nullptr;
    }
    const bool running = m_session.runningNumbers();
    return runThenCallback(
        context,
        [plan, req](TaskControl& control) {
            UpdateRequest r = req;
            r.cancel = control.cancelFlag();
            return fetchUpdate(plan, r);
        },
        [show = std::move(show), running](TaskOutcome<FetchedUpdate>& outcome) {
            try {
                show(tryReadReport(outcome.value(), running));
            } catch (const std::exception& e) {
                show(QString("试读失败：%1").arg(qe(e)));
            }
        });
}

}  // namespace k3
