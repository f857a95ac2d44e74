// The contact detail panel: picture, name, up to three organisation lines, and one row per
// phone number and e-mail address (type label left, value right, the value wrapped by
// characters over as many lines as it needs). It scrolls vertically when the rows do not
// fit. The window sends kmsg::ShowContact (0, ContactRecord*) to show a record; the panel
// reads the record's data rows and mimetypes through the heads given to SetRecordSource.
// Window thread only.
#pragma once

#include "app/core/Records.h"
#include "ui/TkImage.h"

#include <QAbstractScrollArea>
#include <QFontMetrics>
#include <QStringList>
#include <memory>
#include <vector>

struct DetailRow {
    QString label;
    QRect labelRect; // content coordinates
    QString value;
    QRect valueRect;
};

class CContactInfoBoard : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Places itself at (733, 34), 241 by 575 in its parent, as the main window lays it out.
    explicit CContactInfoBoard(QWidget* parent = nullptr);

    // Where the record model keeps its lists; the panel reads the current heads each time.
    void SetRecordSource(DataRow* const* dataRows, MimetypeEntry* const* mimetypes) {
        dataRows_ = dataRows;
        mimetypes_ = mimetypes;
    }
    // What kmsg::ShowContact does; a null record is ignored.
    void ShowContact(const ContactRecord* record);

    QString Name() const { return name_; }
    QString Subtitle(int i) const { return i >= 0 && i < 3 ? subtitles_[i] : QString(); }
    const std::vector<std::unique_ptr<DetailRow>>& Rows() const { return rows_; }
    int ScrollOffset() const { return offset_; }
    int ContentHeight() const { return contentHeight_; }

    // Character wrapping against width - 1: each line takes characters until the width is
    // reached (the one that passes it starts the next line) or a CR or LF ends the line.
    // Every line keeps at least one character; the line height is that of the first
    // character; an empty value has no lines.
    struct Wrapped {
        QStringList lines;
        int lineHeight = 0;
    };
    static Wrapped WrapText(const QString& value, const QFontMetrics& fm, int width);

protected:
    bool event(QEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QRect ClientRect() const;
    void AddRow(const QString& label, const QString& value, int& y);
    QString MimetypeName(int32_t id) const;

    QString name_;
    QString subtitles_[3];
    TkImage picture_; // contactperson.png
    std::vector<std::unique_ptr<DetailRow>> rows_;
    int contentHeight_ = 0;
    int offset_ = 0;
    DataRow* const* dataRows_ = nullptr;
    MimetypeEntry* const* mimetypes_ = nullptr;
};
