#pragma once

// The window operations a collection run uses, as an interface that the window layer
// implements. The run never sees a widget; tests give it a recording fake.

#include "text/text.h"

namespace qelvanto {

// The controls of the main window that the run and the run control address by name.
enum class Control {
    kList,         // 超级列表框1
    kKeywordBox,   // 编辑框_关键词
    kMinimumBox,   // 编辑框_人气
    kStartButton,  // 选择框_开始
    kPauseButton,  // 选择框_暂停
    kStopButton,   // 选择框_停止
    kLogBox,       // 编辑框_日志
};

// Callable from any thread. Each call is complete when it returns; calls take effect in the
// order they are made. After the window is gone they do nothing and return empty values.
class Toolkit {
public:
    virtual ~Toolkit() = default;

    virtual Text EditBoxContent(Control box) = 0;
    virtual void EditBoxAppend(Control box, const Text& text) = 0;
    virtual Text CheckBoxCaption(Control box) = 0;
    virtual void CheckBoxSetCaption(Control box, const Text& caption) = 0;
    virtual void ControlSetEnabled(Control control, bool enabled) = 0;
    virtual int ListViewInsertRow(Control list) = 0;
    virtual void ListViewSetCell(Control list, int row, int column, const Text& text) = 0;
    virtual int ListViewRowCount(Control list) = 0;
    virtual void ListViewEnsureVisible(Control list, int row) = 0;
};

// The operations under their kinds' names.
namespace EditBox {
inline Text Content(Toolkit& tk, Control box) { return tk.EditBoxContent(box); }
inline void Append(Toolkit& tk, Control box, const Text& text) { tk.EditBoxAppend(box, text); }
}  // namespace EditBox
namespace CheckBox {
inline Text Caption(Toolkit& tk, Control box) { return tk.CheckBoxCaption(box); }
inline void SetCaption(Toolkit& tk, Control box, const Text& caption) {
    tk.CheckBoxSetCaption(box, caption);
}
}  // namespace CheckBox
namespace ControlOps {
inline void SetEnabled(Toolkit& tk, Control control, bool enabled) {
    tk.ControlSetEnabled(control, enabled);
}
}  // namespace ControlOps
namespace ListView {
inline int InsertRow(Toolkit& tk, Control list) { return tk.ListViewInsertRow(list); }
inline void SetCell(Toolkit& tk, Control list, int row, int column, const Text& text) {
    tk.ListViewSetCell(list, row, column, text);
}
inline int RowCount(Toolkit& tk, Control list) { return tk.ListViewRowCount(list); }
inline void EnsureVisible(Toolkit& tk, Control list, int row) { tk.ListViewEnsureVisible(list, row); }
}  // namespace ListView

}  // namespace qelvanto
