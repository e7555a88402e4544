// The coverage marks: shapes and colours, and the margin that paints them beside the rows.
#include "CoverageMarks.h"

#include <QPainter>
#include <QPainterPath>

#include "Recorder.h"

void PaintCoverageMark(QPainter* painter, const QRect& rect, CoverageMark mark) {
    if (mark == CoverageMark::None) return;
    const int size = std::min(rect.width(), rect.height()) - 6;
    if (size < 4) return;
    const QRectF box(rect.center().x() - size / 2.0 + 0.5, rect.center().y() - size / 2.0 + 0.5, size, size);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    switch (mark) {
        case CoverageMark::Executed:
            painter->setPen(QPen(QColor(0x00, 0x6B, 0x4F), 1));
            painter->setBrush(QColor(0x00, 0x9E, 0x73));
            painter->drawEllipse(box);
            break;
        case CoverageMark::Never:
            painter->setPen(QPen(QColor(0xD5, 0x5E, 0x00), 2));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(box.adjusted(1, 1, -1, -1));
            break;
        case CoverageMark::OneWay: {
            QPainterPath path;
            path.moveTo(box.center().x(), box.top());
            path.lineTo(box.right(), box.bottom());
            path.lineTo(box.left(), box.bottom());
            path.closeSubpath();
            painter->setPen(QPen(QColor(0x8A, 0x5A, 0x00), 1));
            painter->setBrush(QColor(0xE6, 0x9F, 0x00));
            painter->drawPath(path);
            break;
        }
        case CoverageMark::None:
            break;
    }
    painter->restore();
}

QString CoverageMarkName(CoverageMark mark) {
    switch (mark) {
        case CoverageMark::Executed: return QStringLiteral("executed");
        case CoverageMark::Never: return QStringLiteral("never executed");
        case CoverageMark::OneWay: return QStringLiteral("conditional jump taken one way only");
        case CoverageMark::None: break;
    }
    return {};
}

CoverageMargin::CoverageMargin(std::function<CoverageMark(int)> markOf, QWidget* parent)
    : QHeaderView(Qt::Vertical, parent), markOf_(std::move(markOf)) {
    setObjectName(QStringLiteral("CoverageMargin"));
    setAccessibleName(QStringLiteral("Coverage marks"));
    setAccessibleDescription(QStringLiteral(
        "Per row: a green circle when it ran, a hollow vermilion square when it never ran, an amber "
        "triangle for a conditional jump taken one way only; the tool tip gives the counts"));
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
    setFixedWidth(14);
}

void CoverageMargin::ShowMarks(bool on) {
    setVisible(on);
    viewport()->update();
}

QSize CoverageMargin::sizeHint() const { return QSize(14, QHeaderView::sizeHint().height()); }

void CoverageMargin::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->fillRect(rect, Qt::white);
    PaintCoverageMark(painter, rect, markOf_(logicalIndex));
}

bool CoverageMarksShown() { return Recorder.Enabled(); }
