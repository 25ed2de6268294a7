#include "train_info_form.h"

#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kestra::app {

namespace {
// The engine's texts are single bytes per character (the half-minute sign is 0xBD).
QString L(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
constexpr int kColumns = 7;
// Rows shown before the grid scrolls.
constexpr int kShownRows = 10;
}  // namespace

TTrainInfoForm::TTrainInfoForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("ARS Train Information");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    DescriptionLabel = new QLabel(this);
    StatusLabel = new QLabel(this);
    DelayLabel = new QLabel(this);
    form->addRow("Description:", DescriptionLabel);
    form->addRow("Routesetting Status:", StatusLabel);
    form->addRow("Delay", DelayLabel);
    layout->addLayout(form);
    Grid = new QTableWidget(0, kColumns, this);
    Grid->setHorizontalHeaderLabels(
        {"Location", "Arr", "Dep", "Path", "Plat", "Line", "Activities"});
    Grid->verticalHeader()->hide();
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionMode(QAbstractItemView::NoSelection);
    // Nothing to pick in the grid: no focus frame on a cell, Close takes the keys.
    Grid->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(Grid);
    auto* close = new QPushButton("Close", this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    layout->addWidget(close, 0, Qt::AlignRight);
}

void TTrainInfoForm::ShowFor(const ARSInformation& info) {
    setWindowTitle(L(info.Caption));
    DescriptionLabel->setText(L(info.Description));
    StatusLabel->setText(L(info.Status));
    DelayLabel->setText(L(info.Delay));
    Grid->setRowCount(static_cast<int>(info.Rows.size()));
    for (int r = 0; r < static_cast<int>(info.Rows.size()); ++r) {
        const auto& row = info.Rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < kColumns; ++c) {
            const std::string text =
                c < static_cast<int>(row.size()) ? row[static_cast<std::size_t>(c)] : "";
            Grid->setItem(r, c, new QTableWidgetItem(L(text)));
        }
    }
    // Each column as wide as its widest text, at least 16 pixels, plus 16.
    const QFontMetrics metrics(Grid->font());
    for (int c = 0; c < kColumns; ++c) {
        int widest = std::max(16, metrics.horizontalAdvance(Grid->horizontalHeaderItem(c)->text()));
        for (int r = 0; r < Grid->rowCount(); ++r)
            widest = std::max(widest, metrics.horizontalAdvance(Grid->item(r, c)->text()));
        Grid->setColumnWidth(c, widest + 16);
    }
    // The grid as tall as its rows, ten at most, so that no row is cut off and no blank
    // space stands below the last one; more rows scroll.
    const int shown = std::min(Grid->rowCount(), kShownRows);
    int height = Grid->horizontalHeader()->sizeHint().height() + 2 * Grid->frameWidth();
    for (int r = 0; r < shown; ++r) height += Grid->rowHeight(r);
    Grid->setFixedHeight(height);
    Grid->setVerticalScrollBarPolicy(Grid->rowCount() > shown ? Qt::ScrollBarAlwaysOn
                                                              : Qt::ScrollBarAlwaysOff);
    int width = 2 * Grid->frameWidth();
    for (int c = 0; c < kColumns; ++c) width += Grid->columnWidth(c);
    if (Grid->rowCount() > shown) width += Grid->verticalScrollBar()->sizeHint().width();
    Grid->setMinimumWidth(width);
    Grid->scrollToTop();
    resize(std::max(sizeHint().width(), 360), sizeHint().height());
}

}  // namespace kestra::app
