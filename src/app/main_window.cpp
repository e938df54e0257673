#include "app/main_window.h"

#include <algorithm>
#include <limits>

#include <QApplication>
#include <QIcon>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>

#include "text/codepage.h"

namespace qelvanto {

QString ToQString(const Text& text) {
    const Text utf8 = AnsiToUtf8(text);
    return QString::fromUtf8(utf8.str().data(), static_cast<qsizetype>(utf8.size()));
}

Text FromQString(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return Utf8ToAnsi(Text(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size()))));
}

namespace {
bool IsAcceptedDigit(QChar c) { return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-'); }

// Text made only of printable characters: what typing produces, unlike the control characters
// that Backspace or the clipboard shortcuts carry.
bool IsPrintable(const QString& text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
}
}  // namespace

TypedDigitsFilter::~TypedDigitsFilter() = default;

bool TypedDigitsFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool command = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        const QString typed = key->text();
        if (!command && IsPrintable(typed) && !std::all_of(typed.begin(), typed.end(), IsAcceptedDigit)) {
            return true;  // discarded
        }
    } else if (event->type() == QEvent::InputMethod) {
        // Text committed by an input method is typed text too.
        auto* input = static_cast<QInputMethodEvent*>(event);
        const QString committed = input->commitString();
        QString kept;
        for (QChar c : committed) {
            if (IsAcceptedDigit(c)) kept += c;
        }
        if (kept != committed) {
            input->setCommitString(kept, input->replacementStart(), input->replacementLength());
        }
    }
    return QObject::eventFilter(watched, event);
}

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      list_(new GroupListView(this)),
      group_(new QGroupBox(QStringLiteral("控制"), this)),
      label_keyword_(new QLabel(QStringLiteral("搜索关键词："), group_)),
      keyword_(new QLineEdit(group_)),
      label_minimum_(new QLabel(QStringLiteral("最低人气范围："), group_)),
      minimum_(new QLineEdit(QStringLiteral("50"), group_)),
      start_(new QPushButton(QStringLiteral("开始"), group_)),
      pause_(new QPushButton(QStringLiteral("暂停"), group_)),
      stop_(new QPushButton(QStringLiteral("停止"), group_)),
      log_(new LogBox(this)),
      dispatcher_(std::make_shared<WindowDispatcher>()),
      toolkit_(std::make_shared<WindowToolkit>(this, dispatcher_)) {
    setWindowTitle(QStringLiteral("Qelvanto"));
    setWindowIcon(QIcon(QStringLiteral(":/qelvanto/qelvanto.png")));
    setFont(QApplication::font());
    setFixedSize(kOuterSize);

    list_->setObjectName(QStringLiteral("超级列表框1"));
    group_->setObjectName(QStringLiteral("分组框1"));
    label_keyword_->setObjectName(QStringLiteral("标签1"));
    keyword_->setObjectName(QStringLiteral("编辑框_关键词"));
    label_minimum_->setObjectName(QStringLiteral("标签2"));
    minimum_->setObjectName(QStringLiteral("编辑框_人气"));
    start_->setObjectName(QStringLiteral("选择框_开始"));
    pause_->setObjectName(QStringLiteral("选择框_暂停"));
    stop_->setObjectName(QStringLiteral("选择框_停止"));
    log_->setObjectName(QStringLiteral("编辑框_日志"));

    list_->setGeometry(8, 8, 464, 208);
    group_->setGeometry(8, 224, 296, 88);
    label_keyword_->setGeometry(8, 24, 72, 24);
    keyword_->setGeometry(80, 24, 208, 24);
    label_minimum_->setGeometry(8, 56, 80, 24);
    minimum_->setGeometry(88, 56, 40, 24);
    start_->setGeometry(136, 56, 40, 24);
    pause_->setGeometry(192, 56, 40, 24);
    stop_->setGeometry(248, 56, 40, 24);
    log_->setGeometry(312, 224, 160, 88);

    for (QLineEdit* edit : {keyword_, minimum_}) {
        edit->setAlignment(Qt::AlignCenter);
        edit->setMaxLength(std::numeric_limits<int>::max());
    }
    minimum_->installEventFilter(&digits_filter_);

    // Check boxes drawn as buttons: a click toggles them between raised and pressed in. Qt's
    // flat buttons would hide the raised state altogether, so these keep their bevel.
    for (QPushButton* button : {start_, pause_, stop_}) {
        button->setCheckable(true);
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    pause_->setEnabled(false);
    stop_->setEnabled(false);

    // Esc takes the same way out as the close button.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - kOuterSize.width()) / 2,
             area.y() + (area.height() - kOuterSize.height()) / 2);
    }
}

MainWindow::~MainWindow() { dispatcher_->Close(); }

QSize MainWindow::ClientSizeFor(const QMargins& frame) {
    return QSize(std::max(kMinimumClientSize.width(), kOuterSize.width() - frame.left() - frame.right()),
                 std::max(kMinimumClientSize.height(), kOuterSize.height() - frame.top() - frame.bottom()));
}

void MainWindow::FitToFrame() {
    if (!isWindow() || !isVisible()) return;
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    if (frame == applied_frame_) return;
    applied_frame_ = frame;
    setFixedSize(ClientSizeFor(frame));
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FitToFrame();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    FitToFrame();  // a window manager reports its frame by moving the client area into it
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FitToFrame();
}

QWidget* MainWindow::ControlWidget(Control control) const {
    switch (control) {
        case Control::kList: return list_;
        case Control::kKeywordBox: return keyword_;
        case Control::kMinimumBox: return minimum_;
        case Control::kStartButton: return start_;
        case Control::kPauseButton: return pause_;
        case Control::kStopButton: return stop_;
        case Control::kLogBox: return log_;
    }
    return nullptr;
}

QPushButton* MainWindow::Button(Control control) const {
    return qobject_cast<QPushButton*>(ControlWidget(control));
}

WindowToolkit::WindowToolkit(MainWindow* window, std::shared_ptr<WindowDispatcher> dispatcher)
    : window_(window), dispatcher_(std::move(dispatcher)) {}

WindowToolkit::~WindowToolkit() = default;

Text WindowToolkit::EditBoxContent(Control box) {
    return dispatcher_->Call([w = window_, box] {
        if (box == Control::kLogBox) return FromQString(w->log_->Content());
        if (auto* edit = qobject_cast<QLineEdit*>(w->ControlWidget(box))) return FromQString(edit->text());
        return Text();
    });
}

void WindowToolkit::EditBoxAppend(Control box, const Text& text) {
    dispatcher_->Call([w = window_, box, text] {
        if (box == Control::kLogBox) {
            w->log_->Append(ToQString(text));
        } else if (auto* edit = qobject_cast<QLineEdit*>(w->ControlWidget(box))) {
            edit->end(false);
            edit->insert(ToQString(text));
        }
    });
}

Text WindowToolkit::CheckBoxCaption(Control box) {
    return dispatcher_->Call([w = window_, box] {
        const QPushButton* button = w->Button(box);
        return button ? FromQString(button->text()) : Text();
    });
}

void WindowToolkit::CheckBoxSetCaption(Control box, const Text& caption) {
    dispatcher_->Call([w = window_, box, caption] {
        if (QPushButton* button = w->Button(box)) button->setText(ToQString(caption));
    });
}

void WindowToolkit::ControlSetEnabled(Control control, bool enabled) {
    dispatcher_->Call([w = window_, control, enabled] {
        if (QWidget* widget = w->ControlWidget(control)) widget->setEnabled(enabled);
    });
}

int WindowToolkit::ListViewInsertRow(Control list) {
    return dispatcher_->Call([w = window_, list] { return list == Control::kList ? w->list_->Model().InsertRow() : 0; });
}

void WindowToolkit::ListViewSetCell(Control list, int row, int column, const Text& text) {
    dispatcher_->Call([w = window_, list, row, column, text] {
        if (list == Control::kList) w->list_->Model().SetCell(row, column, ToQString(text));
    });
}

int WindowToolkit::ListViewRowCount(Control list) {
    return dispatcher_->Call([w = window_, list] { return list == Control::kList ? w->list_->Model().rowCount() : 0; });
}

void WindowToolkit::ListViewEnsureVisible(Control list, int row) {
    dispatcher_->Call([w = window_, list, row] {
        if (list == Control::kList) w->list_->EnsureVisible(row);
    });
}

Text MainWindow::EditBoxContent(Control box) { return toolkit_->EditBoxContent(box); }
void MainWindow::EditBoxAppend(Control box, const Text& text) { toolkit_->EditBoxAppend(box, text); }
Text MainWindow::CheckBoxCaption(Control box) { return toolkit_->CheckBoxCaption(box); }
void MainWindow::CheckBoxSetCaption(Control box, const Text& caption) { toolkit_->CheckBoxSetCaption(box, caption); }
void MainWindow::ControlSetEnabled(Control control, bool enabled) { toolkit_->ControlSetEnabled(control, enabled); }
int MainWindow::ListViewInsertRow(Control list) { return toolkit_->ListViewInsertRow(list); }
void MainWindow::ListViewSetCell(Control list, int row, int column, const Text& text) {
    toolkit_->ListViewSetCell(list, row, column, text);
}
int MainWindow::ListViewRowCount(Control list) { return toolkit_->ListViewRowCount(list); }
void MainWindow::ListViewEnsureVisible(Control list, int row) { toolkit_->ListViewEnsureVisible(list, row); }

}  // namespace qelvanto
