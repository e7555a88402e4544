// The Source window: C and assembler files by tab, the program counter's line marked, breakpoints in
// the margin.
#include "SourceUnit.h"

#include <QFontMetrics>
#include <algorithm>

#include <QBrush>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QStyle>
#include <QTextStream>
#include <map>

#include "Code.h"
#include "CoverageMarks.h"
#include "Debugger.h"
#include "ProgramFiles.h"
#include "ProgramSymbols.h"
#include "Prompts.h"
#include "Recorder.h"
#include "Symbols.h"
#include "Unit2.h"

QPointer<TSourceForm> SourceForm;

namespace {

constexpr int kMargin = 0, kNumber = 1, kText = 2;

// Files found by hand through "Locate...", by their name in the debug file.
std::map<QString, QString>& LocatedFiles() {
    static std::map<QString, QString> files;
    return files;
}

QString Folder(const std::string& path) {
    return path.empty() ? QString() : QFileInfo(QString::fromStdString(path)).absolutePath() + "/";
}

// The file F of the debug file in a folder: by the name as written, or by its last component when
// the compiler recorded a path.
QString FindIn(const QString& folder, const QString& f) {
    if (folder.isEmpty()) return {};
    const QString dir = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (const QString& name : {f, QFileInfo(f).fileName()})
        if (QFileInfo(dir + name).isFile()) return dir + name;
    return {};
}

}  // namespace

QStringList& SourceFolders() {
    static QStringList folders;
    return folders;
}

SourceModel::SourceModel(QString f, QStringList lines, QObject* parent)
    : QAbstractTableModel(parent), file(std::move(f)), lines_(std::move(lines)) {
    addresses_.assign(size_t(lines_.size()) + 1, -1);
    code_.resize(size_t(lines_.size()) + 1);
    if (const SymbolTable* t = ActiveProgramSymbols()) {
        const std::string name = file.toStdString();
        for (LineCode& c : LineInstructions(*t))
            if (c.file == name && c.line > 0 && c.line <= uint32_t(lines_.size())) code_[c.line] = std::move(c);
        for (const auto& r : t->lines) {
            if (r.file != name || r.line == 0 || r.line > uint32_t(lines_.size())) continue;
            int& a = addresses_[r.line];
            if (a < 0 || r.address < a) a = r.address;
        }
    }
}

int SourceModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(lines_.size()); }

int SourceModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

CoverageMark SourceModel::MarkOfLine(int line) const {
    if (line <= 0 || line >= int(code_.size()) || !CoverageMarksShown()) return CoverageMark::None;
    return LineMark(Recorder, code_[size_t(line)]);
}

QVariant SourceModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Vertical) return {};
    const int line = section + 1;
    const CoverageMark mark = MarkOfLine(line);
    if (mark == CoverageMark::None) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return CoverageMarkName(mark);
    if (role == Qt::ToolTipRole) {
        const LineCode& c = code_[size_t(line)];
        QString tip = QStringLiteral("Line %1: %2; first instruction (%3h): %4")
                          .arg(line)
                          .arg(CoverageMarkName(mark))
                          .arg(QStringLiteral("%1").arg(c.instructions.front(), 4, 16, QLatin1Char('0')).toUpper())
                          .arg(QString::fromStdString(CoverageText(Recorder, c.instructions.front())));
        for (uint16_t a : c.instructions)
            if (a != c.instructions.front() && IsConditionalJump(CodeMemory[a]))
                tip += QStringLiteral("\n%1h: %2").arg(QStringLiteral("%1").arg(a, 4, 16, QLatin1Char('0')).toUpper()).arg(QString::fromStdString(CoverageText(Recorder, a)));
        return tip;
    }
    return {};
}

int SourceModel::AddressOfLine(int line) const {
    return line > 0 && line < int(addresses_.size()) ? addresses_[size_t(line)] : -1;
}

QVariant SourceModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= lines_.size()) return {};
    const int line = index.row() + 1;
    const int address = AddressOfLine(line);
    const bool breakpoint = address >= 0 && BreakpointTable[uint16_t(address)] == 1;
    switch (role) {
        case Qt::DisplayRole:
            if (index.column() == kMargin)
                return QString(line == pcLine_ ? QStringLiteral("\u25B6") : QString()) +
                       (breakpoint ? QStringLiteral("\u25CF") : QString());
            if (index.column() == kNumber) return line;
            return lines_[index.row()];
        case Qt::AccessibleTextRole:
            if (index.column() == kMargin)
                return QStringLiteral("%1%2%3")
                    .arg(line == pcLine_ ? QStringLiteral("program counter ") : QString())
                    .arg(breakpoint ? QStringLiteral("breakpoint ") : QString())
                    .arg(address >= 0 ? QStringLiteral("code") : QStringLiteral("no code"));
            return data(index, Qt::DisplayRole);
        case Qt::ForegroundRole:
            if (index.column() == kMargin) return QBrush(breakpoint ? Qt::red : Qt::darkGreen);
            if (index.column() == kNumber) return QBrush(address >= 0 ? Qt::black : Qt::gray);
            return {};
        case Qt::BackgroundRole:
            if (line == pcLine_) return QBrush(QColor(0xFF, 0xF0, 0x90));
            if (breakpoint) return QBrush(QColor(0xFF, 0xD0, 0xD0));
            return {};
        case Qt::TextAlignmentRole:
            return index.column() == kNumber ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        default:
            return {};
    }
}

void SourceModel::SetPcLine(int line) {
    pcLine_ = line;
    Repaint();
}

void SourceModel::Repaint() {
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

TSourceForm::TSourceForm(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Source"));
    setObjectName(QStringLiteral("SourceForm"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/disassembly.svg")));
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setAccessibleName(QStringLiteral("Source files"));
    PageControl1->setAccessibleDescription(QStringLiteral(
        "The program's source files, C and assembler; the line of the program counter is marked; "
        "click the margin of a line with code to set or clear a breakpoint on its first instruction"));
    setWidget(PageControl1);
    resize(520, 360);
    Reload();
    // The first size: the lines of the widest file in full, up to 88 characters, beside the
    // margin and the line numbers.
    int text = 0;
    for (QTableView* v : views_) text = std::max(text, v->columnWidth(kText));
    const QFontMetrics metrics(views_.empty() ? font() : views_.front()->font());
    text = std::min(text, metrics.horizontalAdvance(QString(88, QLatin1Char('m'))) + 16);
    if (!views_.empty()) {
        QTableView* v = views_.front();
        const QMargins frame = contentsMargins();
        const int chrome = frame.left() + frame.right() + 2 * v->frameWidth() + 8 +  // the tab page's frame
                           v->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, v);
        resize(std::max(520, v->columnWidth(kMargin) + v->columnWidth(kNumber) + text + chrome), 400);
    }
}

void TSourceForm::Reload() {
    while (PageControl1->count()) {
        QWidget* w = PageControl1->widget(0);
        PageControl1->removeTab(0);
        delete w;
    }
    models_.clear();
    views_.clear();
    const SymbolTable* t = ActiveProgramSymbols();
    if (!t) return;
    QStringList files;
    for (const auto& r : t->lines) {
        QString f = QString::fromStdString(r.file);
        if (!files.contains(f)) files << f;
    }
    for (const QString& f : files) {
        // Beside the debug file, beside the program, then in the folders found with "Locate...".
        QString path;
        for (const QString& folder : QStringList{Folder(t->source), Folder(ProgramFileName)} + SourceFolders())
            if (path.isEmpty()) path = FindIn(folder, f);
        if (path.isEmpty() && LocatedFiles().count(f)) path = LocatedFiles()[f];
        if (path.isEmpty() && !asked_.contains(f)) {
            asked_ << f;
            path = CurrentPrompts().OpenFileNameTitled(this, QStringLiteral("Locate\u2026"), Folder(t->source),
                                                       QStringLiteral("%1 (%1);;All files (*)").arg(f));
            if (!path.isEmpty()) {
                LocatedFiles()[f] = path;
                // The other files of the program that lie in the same folder are found there.
                const QString folder = QFileInfo(path).absolutePath();
                if (!SourceFolders().contains(folder)) SourceFolders() << folder;
            }
        }
        QStringList lines;
        QFile file(path);
        if (!path.isEmpty() && file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            QTextStream in(&file);
            while (!in.atEnd()) {
                // Tabs to every eighth column, as an editor shows them.
                QString line = in.readLine(), shown;
                for (QChar c : line) {
                    if (c == QLatin1Char('\t')) shown += QString(8 - shown.size() % 8, QLatin1Char(' '));
                    else shown += c;
                }
                lines << shown;
            }
        } else {
            lines << QStringLiteral("(%1 was not found)").arg(f);
        }
        auto* view = new QTableView(PageControl1);
        view->setObjectName(QStringLiteral("Source_") + f);
        view->setAccessibleName(f);
        auto* model = new SourceModel(f, lines, view);
        view->setModel(model);
        QFont font(QStringLiteral("Courier New"));
        font.setStyleHint(QFont::Monospace);
        font.setPixelSize(13);
        view->setFont(font);
        view->horizontalHeader()->hide();
        auto* margin = new CoverageMargin([model](int row) { return model->MarkOfLine(row + 1); }, view);
        view->setVerticalHeader(margin);
        margin->setDefaultSectionSize(16);
        margin->ShowMarks(CoverageMarksShown());
        view->setShowGrid(false);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setWordWrap(false);
        view->setColumnWidth(kMargin, 28);
        view->setColumnWidth(kNumber, 40);
        // Long lines scroll sideways rather than lose their ends.
        view->setTextElideMode(Qt::ElideNone);
        int widest = 0;
        const QFontMetrics metrics(font);
        for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
        view->setColumnWidth(kText, std::max(widest + 16, 400));
        connect(view, &QTableView::clicked, this, [this, f](const QModelIndex& index) {
            if (index.column() == kMargin) ToggleBreakpoint(f, index.row() + 1);
        });
        PageControl1->addTab(view, f);
        models_.push_back(model);
        views_.push_back(view);
    }
    ShowProgramCounter();
}

void TSourceForm::ShowProgramCounter() {
    const SymbolTable* t = ActiveProgramSymbols();
    const LineRecord* r = t ? t->LineAt(ProgramCounter) : nullptr;
    for (size_t i = 0; i < models_.size(); ++i) {
        const bool here = r && models_[i]->file.toStdString() == r->file;
        models_[i]->SetPcLine(here ? int(r->line) : 0);
        if (here) {
            PageControl1->setCurrentIndex(int(i));
            const QModelIndex index = models_[i]->index(int(r->line) - 1, kText);
            views_[i]->selectionModel()->setCurrentIndex(
                index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            // Scrolled to by its number, so that a long line does not shift the view sideways.
            views_[i]->scrollTo(index.siblingAtColumn(kNumber), QAbstractItemView::EnsureVisible);
        }
    }
}

bool TSourceForm::ShowLine(const std::string& file, int line) {
    for (size_t i = 0; i < models_.size(); ++i) {
        if (models_[i]->file.toStdString() != file) continue;
        PageControl1->setCurrentIndex(int(i));
        const QModelIndex index = models_[i]->index(std::max(line, 1) - 1, kText);
        views_[i]->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        views_[i]->scrollTo(index.siblingAtColumn(kNumber), QAbstractItemView::PositionAtCenter);
        return true;
    }
    return false;
}

bool TSourceForm::ToggleBreakpoint(const QString& file, int line) {
    for (SourceModel* m : models_) {
        if (m->file != file) continue;
        const int a = m->AddressOfLine(line);
        if (a < 0) return false;
        // An enabled breakpoint goes; a disabled one is enabled again.
        const int id = CodeBreakpointAt(uint16_t(a));
        if (id && BreakpointTable[uint16_t(a)] == 1) RemoveBreakpoint(id);
        else AddCodeBreakpoint(uint16_t(a), (QFileInfo(file).fileName() + QStringLiteral(":%1").arg(line)).toStdString());
        m->Repaint();
        if (Form2) Form2->RepaintGrid();
        return true;
    }
    return false;
}

void TSourceForm::ShowCoverage() {
    for (QTableView* v : views_)
        if (auto* margin = dynamic_cast<CoverageMargin*>(v->verticalHeader())) margin->ShowMarks(CoverageMarksShown());
    RepaintMarks();
}

void TSourceForm::RepaintMarks() {
    for (SourceModel* m : models_) m->Repaint();
}

QTableView* TSourceForm::ViewOf(const QString& file) const {
    for (size_t i = 0; i < models_.size(); ++i)
        if (models_[i]->file == file) return views_[i];
    return nullptr;
}

int TSourceForm::SelectedAddress() const {
    const int i = PageControl1->currentIndex();
    if (i < 0 || size_t(i) >= models_.size()) return -1;
    const QModelIndex current = views_[size_t(i)]->selectionModel()->currentIndex();
    return current.isValid() ? models_[size_t(i)]->AddressOfLine(current.row() + 1) : -1;
}

bool TSourceForm::ShowLine(const QString& file, int line) {
    for (size_t i = 0; i < models_.size(); ++i) {
        if (models_[i]->file != file || line < 1 || line > models_[i]->rowCount()) continue;
        PageControl1->setCurrentIndex(int(i));
        const QModelIndex index = models_[i]->index(line - 1, kNumber);
        views_[i]->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        views_[i]->scrollTo(index, QAbstractItemView::PositionAtCenter);
        return true;
    }
    return false;
}
