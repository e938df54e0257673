#include "app/log_box.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

namespace qelvanto {
namespace {
// Block user state of a block that continues the paragraph of the block before it.
constexpr int kContinuation = 1;
// A tail block is cut when it reaches this many lines; the cut keeps the last two lines in the
// tail, because only they can still re-wrap when more text arrives.
constexpr int kCutAtLines = 4;
constexpr int kLinesKept = 2;
}  // namespace

LogBox::LogBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // An undo history of appends would only grow.
    document()->setUndoRedoEnabled(false);
}

LogBox::~LogBox() = default;

void LogBox::Append(const QString& text) {
    content_ += text;
    const int tail_number = document()->blockCount() - 1;
    const int tail_state = document()->lastBlock().userState();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    // Line breaks in the text start blocks of their own; those are real breaks, not cuts.
    if (document()->blockCount() - 1 != tail_number) {
        QTextBlock tail = document()->findBlockByNumber(tail_number);
        for (QTextBlock block = tail; block.isValid(); block = block.next()) block.setUserState(-1);
        tail.setUserState(tail_state);
    }
    setTextCursor(cursor);
    CutTail();
    ensureCursorVisible();
}

void LogBox::CutTail() {
    // Before the box is shown its layout has no real width yet, and cuts made then would land
    // in the wrong places; the text waits in the tail block until the box is on screen.
    if (!isVisible()) return;
    auto* layout = document()->documentLayout();
    QTextBlock tail = document()->lastBlock();
    layout->blockBoundingRect(tail);  // lays the block out if it is not
    const QTextLayout* text_layout = tail.layout();
    if (text_layout == nullptr || text_layout->lineCount() < kCutAtLines) return;
    const int cut = text_layout->lineAt(text_layout->lineCount() - kLinesKept).textStart();
    if (cut <= 0) return;
    const int tail_state = tail.userState();
    QTextCursor cursor(document());
    cursor.setPosition(tail.position() + cut);
    cursor.insertBlock();
    QTextBlock continued = document()->lastBlock();
    continued.previous().setUserState(tail_state);
    continued.setUserState(kContinuation);
}

QString LogBox::TextBetween(int from, int to) const {
    QString out;
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        const int start = block.position();
        if (start > from && block.userState() != kContinuation) out += QLatin1Char('\n');
        const int begin = std::max(from, start) - start;
        const int end = std::min(to, start + block.length() - 1) - start;
        if (end > begin) out += block.text().mid(begin, end - begin);
    }
    return out;
}

QMimeData* LogBox::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;  // handed to the clipboard or a drag, which own it
    data->setText(TextBetween(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

}  // namespace qelvanto
