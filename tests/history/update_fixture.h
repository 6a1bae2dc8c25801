// A history with two draws, one of them outside a two-year window, and whole updates of it.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history/online_update.h"
#include "http_server.h"
#include "test_support.h"

using Lines = std::vector<std::string>;

inline constexpr std::chrono::year_month_day kToday{std::chrono::year{2013}, std::chrono::month{3},
                                                    std::chrono::day{26}};

struct UpdateServerTest : ::testing::Test {
    k3test::TempDir dir;
    k3::HistoryStore store{dir.file("gapbook.db")};
    k3::UpdateRequest req;
    void SetUp() override {
        req.code = "fj";
        req.years = 2;
        req.today = kToday;
        req.timeoutSeconds = 5;
        store.append(k3test::draws({{110301001, "111"}, {130325077, "222"}}));  // the first is out of the window
    }
    size_t update(const std::string& urlTemplate) {
        req.urlTemplate = urlTemplate;
        return k3::updateHistory(store, req).added;
    }
    size_t update(const k3test::HttpServer& server) { return update(server.base() + "/{code}/?n={n}"); }
    // The message of the failed update, empty when it did not fail.
    template <class Source>
    std::string failure(const Source& source) {
        try {
            update(source);
        } catch (const k3::FetchError& e) {
            return e.what();
        }
        return {};
    }
    Lines stored() {
        Lines out;
        auto snap = store.snapshot();
        for (const k3::SnapRow& r : snap->rows) out.push_back(std::to_string(r.sqqh));
        return out;
    }
};
