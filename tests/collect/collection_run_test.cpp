#include "collect/collection_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "directory_server.h"
#include "recording_toolkit.h"
#include "text/codepage.h"

namespace qelvanto {
namespace {

using ::testing::ElementsAre;
using testing::FromUtf8;
using testing::RecordingToolkit;
using testing::ToUtf8;
using testing::WithoutTimes;

tools::GroupRecord Record(std::uint64_t number, std::uint64_t members, std::string name) {
    tools::GroupRecord r = tools::GeneratedRecord(0, 0);
    r.group_num = number;
    r.member_count = members;
    r.name = std::move(name);
    return r;
}

// A directory whose pages are given record by record; every later page is empty. It notes
// the page and keyword of every request.
class ScriptedDirectory {
public:
    explicit ScriptedDirectory(std::vector<std::vector<tools::GroupRecord>> pages)
        : pages_(std::move(pages)) {
        tools::DirectoryOptions options;
        options.make_body = [this](int page, const std::string& keyword) {
            std::lock_guard lock(mutex_);
            requests_.emplace_back(page, keyword);
            std::string body = "groupCallback({\"retcode\":0,\"result\":{\"groups\":[";
            if (page >= 0 && static_cast<std::size_t>(page) < pages_.size()) {
                const auto& records = pages_[static_cast<std::size_t>(page)];
                for (std::size_t i = 0; i < records.size(); ++i) {
                    if (i > 0) body += ',';
                    body += tools::FormatGroupRecord(records[i]);
                }
            }
            return body + "]}})";
        };
        server_ = std::make_unique<tools::DirectoryServer>(std::move(options));
        EXPECT_TRUE(server_->Start());
    }

    CollectOptions Options() const {
        CollectOptions o;
        o.search_base = Text(server_->BaseUrl());
        o.time_limit_seconds = 10;
        return o;
    }
    std::vector<std::pair<int, std::string>> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    tools::DirectoryServer& server() { return *server_; }

private:
    std::vector<std::vector<tools::GroupRecord>> pages_;
    mutable std::mutex mutex_;
    std::vector<std::pair<int, std::string>> requests_;
    std::unique_ptr<tools::DirectoryServer> server_;
};

TEST(CollectGroups, KeepsGroupsStrictlyAboveTheMinimumAndEndsAfterAnEmptyPage) {
    ScriptedDirectory directory({{Record(111, 50, "fifty"), Record(222, 51, "fifty-one")}});
    RecordingToolkit tk;
    CollectGroups(tk, directory.Options());

    EXPECT_THAT(tk.rows, ElementsAre(ElementsAre("1", "fifty-one", "222", "51")));
    EXPECT_EQ(WithoutTimes(tk.log), "T:采集第1页T:已采集1个T:采集第2页T:采集完成");
    EXPECT_TRUE(tk.Idle());
    const auto requests = directory.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].first, 0);  // the first page entry says 1 while page 0 is asked for
    EXPECT_EQ(requests[1].first, 1);
}

TEST(CollectGroups, NumbersRowsAfterTheRowsAlreadyInTheList) {
    ScriptedDirectory directory({{Record(1, 60, "a"), Record(2, 70, "b"), Record(3, 80, "c")}});
    RecordingToolkit tk;
    CollectGroups(tk, directory.Options());
    ASSERT_EQ(tk.rows.size(), 3u);
    EXPECT_EQ(tk.rows[2][0], "3");
    EXPECT_EQ(WithoutTimes(tk.log),
              "T:采集第1页T:已采集1个T:已采集2个T:已采集3个T:采集第2页T:采集完成");

    ScriptedDirectory again({{Record(4, 90, "d")}});
    tk.log.clear();
    CollectGroups(tk, again.Options());
    ASSERT_EQ(tk.rows.size(), 4u);
    EXPECT_THAT(tk.rows[3], ElementsAre("4", "d", "4", "90"));
    EXPECT_EQ(WithoutTimes(tk.log), "T:采集第1页T:已采集4个T:采集第2页T:采集完成");
    EXPECT_EQ(again.Requests().front().first, 0);
}

TEST(CollectGroups, FillsEveryCellBeforeTheKeptEntry) {
    ScriptedDirectory directory({{Record(7, 99, "x")}});
    RecordingToolkit tk;
    CollectGroups(tk, directory.Options());
    const std::vector<std::string> row_calls(tk.calls.begin() + 3, tk.calls.begin() + 11);
    // Append(page), Content(keyword), Content(minimum), then the row and its kept entry.
    EXPECT_THAT(row_calls, ElementsAre("InsertRow", "SetCell", "SetCell", "SetCell", "SetCell",
                                       "EnsureVisible", "RowCount", "Append"));
}

TEST(CollectGroups, GoesOnAfterAPageWhoseGroupsAllLieAtOrBelowTheMinimum) {
    ScriptedDirectory directory({{Record(1, 10, "low"), Record(2, 50, "edge")}, {Record(3, 500, "high")}});
    RecordingToolkit tk;
    CollectGroups(tk, directory.Options());
    EXPECT_EQ(WithoutTimes(tk.log), "T:采集第1页T:采集第2页T:已采集1个T:采集第3页T:采集完成");
    ASSERT_EQ(tk.rows.size(), 1u);
    EXPECT_EQ(tk.rows[0][1], "high");
}

TEST(CollectGroups, ReadsTheMinimumAnewForEveryRecord) {
    ScriptedDirectory directory({{Record(1, 60, "a"), Record(2, 60, "b")}});
    RecordingToolkit tk;
    int minimum_reads = 0;
    tk.before_call = [&](const std::string& call) {
        if (call == "Content" && tk.calls.size() > 2 && ++minimum_reads == 2) tk.minimum = "100";
    };
    CollectGroups(tk, directory.Options());
    ASSERT_EQ(tk.rows.size(), 1u);
    EXPECT_EQ(tk.rows[0][1], "a");
}

TEST(CollectGroups, UsesAChangedKeywordFromTheNextPageOn) {
    ScriptedDirectory directory({{Record(1, 60, "a")}, {Record(2, 60, "b")}});
    RecordingToolkit tk;
    tk.keyword = "猫";
    tk.before_call = [&](const std::string& call) {
        if (call == "InsertRow") tk.keyword = "dog";
    };
    CollectGroups(tk, directory.Options());
    const auto requests = directory.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], std::make_pair(0, std::string("猫")));
    EXPECT_EQ(requests[1], std::make_pair(1, std::string("dog")));
    EXPECT_EQ(requests[2], std::make_pair(2, std::string("dog")));
}

TEST(CollectGroups, EndsTheRunWhenAPageRunsIntoTheTimeLimit) {
    ScriptedDirectory directory({{Record(1, 60, "a")}});
    directory.server().SetStalled(true);
    RecordingToolkit tk;
    CollectOptions options = directory.Options();
    options.time_limit_seconds = 0;  // the limit has passed as soon as the request is out
    CollectGroups(tk, options);
    directory.server().ReleaseStalled();
    EXPECT_EQ(WithoutTimes(tk.log), "T:采集第1页T:采集完成");
    EXPECT_TRUE(tk.rows.empty());
    EXPECT_TRUE(tk.Idle());
}

TEST(CollectGroups, EndsAfterTheFirstPageWhenNothingAnswers) {
    RecordingToolkit tk;
    CollectOptions options;
    options.search_base = "http://127.0.0.1:1/group/search/";
    options.time_limit_seconds = 10;
    CollectGroups(tk, options);
    EXPECT_EQ(WithoutTimes(tk.log), "T:采集第1页T:采集完成");
    EXPECT_TRUE(tk.Idle());
}

TEST(CollectGroups, KeepsNamesAsTheyStandInThePage) {
    tools::GroupRecord quoted = Record(5, 70, R"(say \"hi\")");
    tools::GroupRecord chinese = Record(6, 70, "中文群😀");
    tools::GroupRecord escaped = Record(7, 70, R"(\u4e2d)");
    ScriptedDirectory directory({{quoted, chinese, escaped}});
    RecordingToolkit tk;
    CollectGroups(tk, directory.Options());
    ASSERT_EQ(tk.rows.size(), 3u);
    EXPECT_EQ(tk.rows[0][1], R"(say \)");
    EXPECT_EQ(tk.rows[1][1], "中文群😀");
    EXPECT_EQ(tk.rows[2][1], R"(\u4e2d)");
}

// A run whose work is called off writes nothing more and leaves the buttons to whoever
// stopped it.
TEST(CollectGroups, StopsWritingOnceItsWorkIsCancelled) {
    ScriptedDirectory directory({{Record(1, 60, "a"), Record(2, 60, "b")}, {Record(3, 60, "c")}});
    RecordingToolkit tk;
    bool cancelled = false;
    SetWorkCancelledHook([&] { return cancelled; });
    tk.before_call = [&](const std::string& call) {
        if (call == "RowCount") cancelled = true;
    };
    CollectGroups(tk, directory.Options());
    SetWorkCancelledHook({});
    EXPECT_EQ(WithoutTimes(tk.log), "T:采集第1页T:已采集1个");
    EXPECT_EQ(tk.rows.size(), 1u);
    EXPECT_FALSE(tk.Idle());
    EXPECT_EQ(directory.Requests().size(), 1u);
}

}  // namespace
}  // namespace qelvanto

namespace qelvanto {
namespace {

// A directory that answers like a real one: Chinese names around the keyword, escaped quotes,
// JSON escapes, emoji, member counts around the minimum.
TEST(CollectGroups, KeepsEveryRealisticGroupAboveTheMinimumInPageOrder) {
    tools::DirectoryOptions options;
    options.pages = 3;
    options.make_record = tools::RealisticRecord;
    tools::DirectoryServer directory(options);
    ASSERT_TRUE(directory.Start());
    testing::RecordingToolkit tk;
    tk.keyword = "游戏";
    CollectOptions run;
    run.search_base = Text(directory.BaseUrl());
    run.time_limit_seconds = 10;
    CollectGroups(tk, run);

    std::vector<std::vector<std::string>> expected;
    for (int page = 0; page < options.pages; ++page) {
        for (int i = 0; i < options.records_per_page; ++i) {
            const tools::GroupRecord r = tools::RealisticRecord(page, i, "游戏");
            if (r.member_count <= 50) continue;
            const std::string name = r.name.substr(0, r.name.find('"'));  // cut at an escaped quote
            expected.push_back({std::to_string(expected.size() + 1), name, std::to_string(r.group_num),
                                std::to_string(r.member_count)});
        }
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(tk.rows, expected);
    const auto requests = directory.Requests();
    ASSERT_EQ(requests.size(), 4u);
    for (int page = 0; page < 4; ++page) {
        EXPECT_EQ(requests[static_cast<std::size_t>(page)].page, page);
        EXPECT_EQ(requests[static_cast<std::size_t>(page)].keyword, "游戏");
    }
}

}  // namespace
}  // namespace qelvanto
