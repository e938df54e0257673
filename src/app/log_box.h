#pragma once

// The read-only, word-wrapped log box. The log is one running paragraph that grows for hours;
// a text layout re-flows a whole paragraph whenever it changes, so appending to one huge
// paragraph costs more with every entry. The box therefore cuts the paragraph into blocks at the
// places where it already wraps. The box never changes width, so every block wraps exactly as the
// one paragraph would, and the picture is unchanged. The cuts are marked, kept out of Content()
// and out of anything copied or dragged, so the text the user gets is exactly what was appended.

#include <QMimeData>
#include <QPlainTextEdit>
#include <QString>

namespace qelvanto {

class LogBox : public QPlainTextEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogBox)

public:
    explicit LogBox(QWidget* parent = nullptr);
    ~LogBox() override;

    // Moves the caret to the end, inserts `text` there with nothing in between and scrolls the
    // caret into view.
    void Append(const QString& text);
    // Everything appended, exactly.
    const QString& Content() const { return content_; }

protected:
    QMimeData* createMimeDataFromSelection() const override;

private:
    // The plain text of document positions [from, to), the cuts left out.
    QString TextBetween(int from, int to) const;
    // Cuts the last block where it wraps once it has grown over a few lines.
    void CutTail();

    QString content_;
};

}  // namespace qelvanto
