#include "report_forms.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <fstream>

#include "assess/running_record.h"
#include "core/time_format.h"
#include "graph_view.h"
#include "sim/sim.h"

namespace kestra::app {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// A column as wide as its widest text plus 16 pixels, and at least 32.
void FitColumns(QTableWidget& grid) {
    const QFontMetrics metrics(grid.font());
    for (int c = 0; c < grid.columnCount(); ++c) {
        int widest = 0;
        if (const QTableWidgetItem* h = grid.horizontalHeaderItem(c))
            widest = metrics.horizontalAdvance(h->text());
        for (int r = 0; r < grid.rowCount(); ++r)
            if (const QTableWidgetItem* item = grid.item(r, c))
                widest = std::max(widest, metrics.horizontalAdvance(item->text()));
        grid.setColumnWidth(c, std::max(32, widest + 16));
    }
}

QTableWidgetItem* ReadOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

}  // namespace

// --- the train list

TTrainListForm::TTrainListForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setWindowTitle("Train List");
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    StringGrid = new QTableWidget(0, kTrainListColumns);
    StringGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid->verticalHeader()->setVisible(false);
    StringGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    for (int c = 0; c < kTrainListColumns; ++c) {
        const TrainListColumn& column = TrainListColumnsTable[static_cast<std::size_t>(c)];
        auto* header = new QTableWidgetItem(column.Header);
        header->setToolTip(column.Hint);
        StringGrid->setHorizontalHeaderItem(c, header);
    }
    layout->addWidget(StringGrid, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel("Right-click on an entry to view options for that train"), 1);
    OkButton = new QPushButton("&Ok");
    bottom->addWidget(OkButton);
    layout->addLayout(bottom);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);

    TrainPopupMenu = new QMenu(this);
    QMenu* sub = nullptr;
    QString heading;
    for (const TrainMenuItem& item : TrainMenuItems) {
        if (!sub || heading != item.Submenu) {
            heading = item.Submenu;
            sub = TrainPopupMenu->addMenu(heading);
        }
        const TrainCommand command = item.Command;
        connect(sub->addAction(item.Caption), &QAction::triggered, this,
                [this, command] { RunCommand(command); });
    }
    connect(StringGrid, &QTableWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const int row = StringGrid->rowAt(at.y());
        if (row < 0) return;
        StringGrid->selectRow(row);
        TrainPopupMenu->exec(StringGrid->viewport()->mapToGlobal(at));
    });

    refresh_.setInterval(1000);
    connect(&refresh_, &QTimer::timeout, this, &TTrainListForm::Refresh);
    refresh_.start();
    Refresh();
    resize(900, 420);
}

void TTrainListForm::Refresh() {
    const int selected = StringGrid->currentRow();
    const std::string keep = selected >= 0 && static_cast<std::size_t>(selected) < rows_.size()
                                 ? rows_[static_cast<std::size_t>(selected)].Description
                                 : std::string();
    rows_ = TrainListRows(sim_);
    StringGrid->setRowCount(static_cast<int>(rows_.size()));
    for (std::size_t r = 0; r < rows_.size(); ++r)
        for (int c = 0; c < kTrainListColumns; ++c)
            StringGrid->setItem(static_cast<int>(r), c,
                                ReadOnlyItem(Q(rows_[r].Cells[static_cast<std::size_t>(c)])));
    FitColumns(*StringGrid);
    if (!keep.empty()) SelectTrain(keep);
}

bool TTrainListForm::SelectTrain(const std::string& description) {
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        if (rows_[r].Description == description) {
            StringGrid->selectRow(static_cast<int>(r));
            return true;
        }
    }
    return false;
}

TrainCommandResult TTrainListForm::RunCommand(TrainCommand command) {
    const int row = StringGrid->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size())
        return TrainCommandResult::Refused;
    // A copy: the grid may be filled again while a question is open.
    const TrainListRow chosen = rows_[static_cast<std::size_t>(row)];
    const TrainCommandResult result = RunTrainCommand(sim_, chosen, command);
    if (result == TrainCommandResult::Removed) {
        refresh_.stop();
        accept();
    } else {
        Refresh();
    }
    return result;
}

// --- the performance analysis

TPerformanceForm::TPerformanceForm(const std::vector<std::string>& lines, Sim* sim, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Performance Analysis");
    auto* layout = new QVBoxLayout(this);
    Details = new QPlainTextEdit;
    Details->setObjectName("Details");
    Details->setReadOnly(true);
    Details->setTabStopDistance(QFontMetrics(Details->font()).horizontalAdvance(' ') * 4);
    QStringList text;
    for (const std::string& line : lines) text << Q(line);
    Details->setPlainText(text.join('\n'));
    Details->installEventFilter(this);
    layout->addWidget(Details, 1);
    auto* buttons = new QHBoxLayout;
    if (sim) {
        auto* graph = new QPushButton("Time-distance &graph...");
        auto* punctuality = new QPushButton("&Punctuality report...");
        buttons->addWidget(graph);
        buttons->addWidget(punctuality);
        connect(graph, &QPushButton::clicked, this, [this, sim] {
            TGraphForm form(*sim, this);
            form.exec();
        });
        connect(punctuality, &QPushButton::clicked, this, [this, sim] {
            TPunctualityForm form(*sim, this);
            form.exec();
        });
    }
    buttons->addStretch(1);
    OkButton = new QPushButton("&Ok");
    OkButton->setDefault(true);
    buttons->addWidget(OkButton);
    layout->addLayout(buttons);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    resize(520, 560);
}

bool TPerformanceForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Details && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            accept();
            return true;
        }
        // A line feed (Ctrl+J) closes it too.
        if (key == Qt::Key_J &&
            (static_cast<QKeyEvent*>(event)->modifiers() & Qt::ControlModifier)) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// --- the punctuality report

TPunctualityForm::TPunctualityForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setWindowTitle("Punctuality Report");
    auto* layout = new QVBoxLayout(this);
    Reports = new QTableWidget(0, 6);
    Reports->setHorizontalHeaderLabels(
        {"Train", "Location", "Event", "Booked", "Actual", "Minutes late"});
    Reports->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Reports->setSelectionBehavior(QAbstractItemView::SelectRows);
    Reports->verticalHeader()->setVisible(false);
    layout->addWidget(Reports, 3);
    Summary = new QPlainTextEdit;
    Summary->setReadOnly(true);
    Summary->setTabStopDistance(QFontMetrics(Summary->font()).horizontalAdvance(' ') * 4);
    layout->addWidget(Summary, 2);
    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton("&Save as CSV...");
    auto* ok = new QPushButton("&Ok");
    buttons->addWidget(save);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, "Save As", "punctuality.csv", "CSV files (*.csv)");
        if (path.isEmpty()) return;
        std::string error;
        if (!SaveCsv(path.toStdString(), error)) QMessageBox::critical(this, "Error", Q(error));
    });
    Refresh();
    resize(760, 620);
}

void TPunctualityForm::Refresh() {
    const std::vector<TimingReport>& reports = sim_.Record.Reports;
    Reports->setRowCount(static_cast<int>(reports.size()));
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const TimingReport& r = reports[i];
        const int row = static_cast<int>(i);
        Reports->setItem(row, 0, ReadOnlyItem(Q(r.Train)));
        Reports->setItem(row, 1, ReadOnlyItem(Q(r.Location)));
        Reports->setItem(row, 2, ReadOnlyItem(Q(r.Event)));
        Reports->setItem(row, 3, ReadOnlyItem(Q(FormatClock(r.Booked))));
        Reports->setItem(row, 4, ReadOnlyItem(Q(FormatClock(r.Actual))));
        Reports->setItem(row, 5, ReadOnlyItem(QString::number(r.MinutesLate)));
    }
    FitColumns(*Reports);
    QStringList lines;
    for (const std::string& line : PunctualitySummaryLines(sim_.Record)) lines << Q(line);
    Summary->setPlainText(lines.join('\n'));
}

bool TPunctualityForm::SaveCsv(const std::string& path, std::string& error) const {
    std::ofstream file(path, std::ios::binary);
    file << PunctualityCsv(sim_.Record);
    file.close();
    if (!file) {
        error = "Cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace kestra::app
