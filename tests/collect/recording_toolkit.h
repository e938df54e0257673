#pragma once

// A window stand-in for collection-run tests: it records what the run does with it.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "collect/toolkit.h"
#include "support/log_text.h"
#include "text/codepage.h"

namespace qelvanto::testing {

inline std::string ToUtf8(const Text& t) { return AnsiToUtf8(t).str(); }
inline Text FromUtf8(const std::string& s) { return Utf8ToAnsi(Text(s)); }

// A window that records what the run does with it.
class RecordingToolkit : public Toolkit {
public:
    std::string keyword = "k";
    std::string minimum = "50";
    std::string log;  // UTF-8
    std::vector<std::vector<std::string>> rows;
    std::map<Control, bool> enabled{{Control::kStartButton, false},
                                    {Control::kPauseButton, true},
                                    {Control::kStopButton, true}};
    std::vector<std::string> calls;
    // Called before every operation with its name; may change the window or cancel the run.
    std::function<void(const std::string&)> before_call;

    Text EditBoxContent(Control box) override {
        Note("Content");
        return FromUtf8(box == Control::kKeywordBox ? keyword : minimum);
    }
    void EditBoxAppend(Control, const Text& text) override {
        Note("Append");
        log += ToUtf8(text);
    }
    Text CheckBoxCaption(Control) override { return Text(); }
    void CheckBoxSetCaption(Control, const Text&) override {}
    void ControlSetEnabled(Control control, bool on) override {
        Note("SetEnabled");
        enabled[control] = on;
    }
    int ListViewInsertRow(Control) override {
        Note("InsertRow");
        rows.emplace_back(4);
        return static_cast<int>(rows.size()) - 1;
    }
    void ListViewSetCell(Control, int row, int column, const Text& text) override {
        Note("SetCell");
        rows.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column)) = ToUtf8(text);
    }
    int ListViewRowCount(Control) override {
        Note("RowCount");
        return static_cast<int>(rows.size());
    }
    void ListViewEnsureVisible(Control, int) override { Note("EnsureVisible"); }

    bool Idle() const {
        return enabled.at(Control::kStartButton) && !enabled.at(Control::kPauseButton) &&
               !enabled.at(Control::kStopButton);
    }

private:
    void Note(const std::string& call) {
        calls.push_back(call);
        if (before_call) before_call(call);
    }
};

}  // namespace qelvanto::testing
