// The coverage marks of the listing and the Source window: a shape in a colour per mark, drawn in
// a narrow margin, and the margin itself as a row header.
#pragma once

#include <QHeaderView>
#include <QString>
#include <functional>

#include "Analysis.h"

// Executed: a filled green circle; never executed: a hollow vermilion square; a conditional jump
// taken one way only: an amber triangle. Shape and fill tell them apart without the hue.
void PaintCoverageMark(QPainter* painter, const QRect& rect, CoverageMark mark);
// "executed", "never executed", "conditional jump taken one way only", "" for None.
QString CoverageMarkName(CoverageMark mark);

// A narrow row header that paints each row's mark. The model's headerData gives the tool tip
// (Qt::ToolTipRole) and the accessible text (Qt::DisplayRole) of each row.
class CoverageMargin : public QHeaderView {
public:
    CoverageMargin(std::function<CoverageMark(int row)> markOf, QWidget* parent);
    // Shows or hides the margin, as recording is switched on or off.
    void ShowMarks(bool on);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    QSize sizeHint() const override;

private:
    std::function<CoverageMark(int)> markOf_;
};

// Whether the views show coverage marks now: while recording is on.
bool CoverageMarksShown();
