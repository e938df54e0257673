#pragma once

// The tool's only window, and the window operations of the collection run on its controls.

#include <memory>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMargins>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include "app/group_list.h"
#include "app/log_box.h"
#include "app/window_dispatcher.h"
#include "collect/toolkit.h"
#include "text/text.h"

namespace qelvanto {

// Conversions between the tool's code page 936 texts and Qt's strings; no character is lost.
QString ToQString(const Text& text);
Text FromQString(const QString& text);

// Keeps only "0"-"9" and "-" of what is typed into a line edit; control keys and pasted text
// pass unfiltered.
class TypedDigitsFilter : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TypedDigitsFilter)

public:
    using QObject::QObject;
    ~TypedDigitsFilter() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

class MainWindow;

// The window operations as an object that may outlive the window: a worker holds it by shared
// ownership, and once the window is gone its calls return empty values at once.
class WindowToolkit : public Toolkit {
public:
    WindowToolkit(MainWindow* window, std::shared_ptr<WindowDispatcher> dispatcher);
    ~WindowToolkit() override;
    WindowToolkit(const WindowToolkit&) = delete;
    WindowToolkit& operator=(const WindowToolkit&) = delete;

    WindowDispatcher& Dispatcher() { return *dispatcher_; }

    Text EditBoxContent(Control box) override;
    void EditBoxAppend(Control box, const Text& text) override;
    Text CheckBoxCaption(Control box) override;
    void CheckBoxSetCaption(Control box, const Text& caption) override;
    void ControlSetEnabled(Control control, bool enabled) override;
    int ListViewInsertRow(Control list) override;
    void ListViewSetCell(Control list, int row, int column, const Text& text) override;
    int ListViewRowCount(Control list) override;
    void ListViewEnsureVisible(Control list, int row) override;

private:
    // Only dereferenced inside jobs of the dispatcher, which run on the window thread and only
    // while it is open; the window closes it before anything of itself is torn down.
    MainWindow* const window_;
    const std::shared_ptr<WindowDispatcher> dispatcher_;
};

// The window is 487 x 344 from the outside. Qt sizes the client area, so the window starts with a
// client area of that size and, once shown, takes the frame the window manager drew from the
// difference between frameGeometry() and geometry() and shrinks the client area by it (never
// below the controls plus a small margin). Without a window manager, as offscreen, there is no
// frame and the client area is the whole 487 x 344. The controls sit at fixed places in the
// client area.
class MainWindow : public QWidget, public Toolkit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    // The outer size, frame included where a window manager draws one.
    static constexpr QSize kOuterSize{487, 344};
    // The client area never shrinks below the controls (472 x 312) and a margin of 4.
    static constexpr QSize kMinimumClientSize{476, 316};

    // Creates the window hidden, centred on the primary screen.
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The client size that gives the outer size with a frame of these margins.
    static QSize ClientSizeFor(const QMargins& frame);

    // The controls, for the run control and the tests.
    GroupListView* 超级列表框1() const { return list_; }
    QGroupBox* 分组框1() const { return group_; }
    QLabel* 标签1() const { return label_keyword_; }
    QLineEdit* 编辑框_关键词() const { return keyword_; }
    QLabel* 标签2() const { return label_minimum_; }
    QLineEdit* 编辑框_人气() const { return minimum_; }
    QPushButton* 选择框_开始() const { return start_; }
    QPushButton* 选择框_暂停() const { return pause_; }
    QPushButton* 选择框_停止() const { return stop_; }
    LogBox* 编辑框_日志() const { return log_; }

    // Carries the window operations of other threads; the run control's hook for holding and
    // dropping a run's calls.
    WindowDispatcher& Dispatcher() { return *dispatcher_; }
    // The window operations for a thread that may still call them after the window is gone.
    std::shared_ptr<WindowToolkit> SharedToolkit() const { return toolkit_; }

    // Toolkit: callable from any thread while the window exists.
    Text EditBoxContent(Control box) override;
    void EditBoxAppend(Control box, const Text& text) override;
    Text CheckBoxCaption(Control box) override;
    void CheckBoxSetCaption(Control box, const Text& caption) override;
    void ControlSetEnabled(Control control, bool enabled) override;
    int ListViewInsertRow(Control list) override;
    void ListViewSetCell(Control list, int row, int column, const Text& text) override;
    int ListViewRowCount(Control list) override;
    void ListViewEnsureVisible(Control list, int row) override;

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class WindowToolkit;

    QWidget* ControlWidget(Control control) const;
    QPushButton* Button(Control control) const;
    // Sizes the client area so that the frame the window manager drew gives the outer size.
    void FitToFrame();

    GroupListView* list_;
    QGroupBox* group_;
    QLabel* label_keyword_;
    QLineEdit* keyword_;
    QLabel* label_minimum_;
    QLineEdit* minimum_;
    QPushButton* start_;
    QPushButton* pause_;
    QPushButton* stop_;
    LogBox* log_;
    TypedDigitsFilter digits_filter_;
    QMargins applied_frame_;
    // Closed first thing in the destructor, so no call of another thread reaches a control
    // being torn down.
    std::shared_ptr<WindowDispatcher> dispatcher_;
    std::shared_ptr<WindowToolkit> toolkit_;
};

}  // namespace qelvanto
