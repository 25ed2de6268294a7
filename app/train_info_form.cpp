#include "train_info_form.h"

#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kestra::app {

namespace {
// The engine's texts are single bytes per character (the half-minute sign is 0xBD).
QString L(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
constexpr int kColumns = 7;
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
    layout->addWidget(Grid);
    auto* close = new QPushButton("Close", this);
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
    int width = 40;
    for (int c = 0; c < kColumns; ++c) width += Grid->columnWidth(c);
    resize(std::max(width, 360), 200 + 24 * std::min(Grid->rowCount(), 10));
}

}  // namespace kestra::app
