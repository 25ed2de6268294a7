#include "startup_form.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "area/area_builder.h"
#include "persist/game_menu.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_start.h"

namespace kestra::app {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The picture of the splash and start-up windows: a stretch of signalled double track
// in the panel's colours.
QPixmap Picture(const QString& title) {
    QPixmap p(420, 120);
    p.fill(Qt::black);
    QPainter g(&p);
    g.setPen(QPen(QColor(128, 128, 128), 3));
    g.drawLine(10, 70, 410, 70);
    g.drawLine(10, 95, 410, 95);
    g.setPen(QPen(Qt::white, 3));
    g.drawLine(150, 70, 230, 95);
    for (int x : {80, 300}) {
        g.setPen(QPen(QColor(128, 128, 128), 2));
        g.drawLine(x, 55, x, 66);
        g.setBrush(x == 80 ? QColor(0, 255, 0) : QColor(255, 0, 0));
        g.setPen(Qt::NoPen);
        g.drawEllipse(QPoint(x + 8, 55), 6, 6);
    }
    g.setPen(Qt::yellow);
    QFont f = g.font();
    f.setPointSize(18);
    f.setBold(true);
    g.setFont(f);
    g.drawText(QRect(0, 5, 420, 40), Qt::AlignCenter, title);
    return p;
}

}  // namespace

// --- the new-scenario dialog

TNewSimForm::TNewSimForm(Sim& sim, std::string dataFolder, QWidget* parent)
    : QDialog(parent), sim_(sim), folder_(std::move(dataFolder)) {
    setWindowTitle("New Scenario");
    QApplication::setOverrideCursor(Qt::WaitCursor);
    pages_ = new QTabWidget(this);

    auto* scenarioPage = new QWidget;
    auto* sl = new QVBoxLayout(scenarioPage);
    scenarios_ = new QListWidget;
    scenarioText_ = new QTextEdit;
    scenarioText_->setReadOnly(true);
    sl->addWidget(scenarios_);
    sl->addWidget(scenarioText_);
    pages_->addTab(scenarioPage, "&Scenario");

    auto* timetablePage = new QWidget;
    auto* tl = new QVBoxLayout(timetablePage);
    timetables_ = new QListWidget;
    timetableText_ = new QTextEdit;
    timetableText_->setReadOnly(true);
    startTime_ = new QLineEdit;
    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(new QLabel("Start time (HH:MM)"));
    timeRow->addWidget(startTime_);
    tl->addWidget(timetables_);
    tl->addWidget(timetableText_);
    tl->addLayout(timeRow);
    pages_->addTab(timetablePage, "&Timetable");

    ok_ = new QPushButton("&Ok");
    ok_->setDefault(true);
    auto* cancel = new QPushButton("C&ancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addLayout(buttons);

    connect(ok_, &QPushButton::clicked, this, &TNewSimForm::OkClicked);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(pages_, &QTabWidget::currentChanged, this, &TNewSimForm::PageChanged);
    connect(scenarios_, &QListWidget::itemSelectionChanged, this, &TNewSimForm::ScenarioSelected);
    connect(timetables_, &QListWidget::itemSelectionChanged, this, &TNewSimForm::TimetableSelected);
    connect(scenarios_, &QListWidget::itemDoubleClicked, this, &TNewSimForm::OkClicked);
    connect(timetables_, &QListWidget::itemDoubleClicked, this, &TNewSimForm::OkClicked);

    for (const std::string& name : area::ScenarioNames()) scenarios_->addItem(Q(name));
    if (scenarios_->count() > 0) scenarios_->setCurrentRow(0);
    ScenarioSelected();
    timetables_->addItem(NoTimetableEntry);
    for (const std::string& name : ListTimetables(folder_, &sim_)) timetables_->addItem(Q(name));
    timetables_->setEnabled(timetables_->count() > 0);
    TimetableSelected();
    pages_->setCurrentIndex(0);
    PageChanged();
    resize(480, 360);
    QApplication::restoreOverrideCursor();
}

void TNewSimForm::PageChanged() {
    ok_->setText(pages_->currentIndex() == 0 ? "&Next >" : "&Ok");
}

void TNewSimForm::ScenarioSelected() {
    const int row = scenarios_->currentRow();
    const auto descriptions = area::ScenarioDescriptions();
    QString text;
    if (row >= 0 && row < static_cast<int>(descriptions.size()))
        text = Q(descriptions[static_cast<std::size_t>(row)]).split('|').join('\n');
    scenarioText_->setPlainText(text);
    ok_->setEnabled(!scenarios_->selectedItems().isEmpty());
}

void TNewSimForm::TimetableSelected() {
    auto grey = [&](const QString& text) {
        timetableText_->setTextColor(Qt::gray);
        timetableText_->setPlainText(text);
        startTime_->clear();
        startTime_->setEnabled(false);
    };
    const QList<QListWidgetItem*> selected = timetables_->selectedItems();
    if (selected.isEmpty()) return grey("Nothing selected");
    const QString name = selected.front()->text();
    if (name.toLower() == QString(NoTimetableEntry).toLower())
        return grey("Play with no timetable");
    const std::string path = TimetablePath(folder_, name.toStdString());
    TTimetableHeader header;
    if (!ReadAnyTimetableHeader(sim_, path, header)) {
        timetableText_->clear();
        startTime_->clear();
        startTime_->setEnabled(false);
        sim_.Dialog().ShowError("Error getting information from " + path);
        return;
    }
    timetableText_->setTextColor(Qt::black);
    timetableText_->setPlainText(Q(header.Description));
    startTime_->setText(Q(StartTimeFieldText(header.StartTime)));
    startTime_->setEnabled(true);
}

void TNewSimForm::OkClicked() {
    if (pages_->currentIndex() == 0) {
        pages_->setCurrentIndex(1);
        return;
    }
    NewGameChoice choice;
    choice.Scenario = scenarios_->currentRow();
    const QList<QListWidgetItem*> selected = timetables_->selectedItems();
    if (!selected.isEmpty()) choice.Timetable = selected.front()->text().toStdString();
    choice.StartTime = startTime_->text().toStdString();
    if (StartNewGame(sim_, folder_, choice)) accept();
}

// --- the start-up dialog

TStartupForm::TStartupForm(Sim& sim, std::string dataFolder, QWidget* parent,
                           std::function<bool()> networkPlay)
    : QDialog(parent), sim_(sim), folder_(std::move(dataFolder)), networkPlay_(std::move(networkPlay)) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle("Kestra");
    auto* picture = new QLabel;
    picture->setPixmap(Picture("Kestra"));
    auto* title = new QLabel(Q(sim.SimData.AreaTitle));
    title->setAlignment(Qt::AlignCenter);
    title->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    new_ = new QPushButton("&New Game");
    new_->setToolTip("Start a new game");
    load_ = new QPushButton("&Load Game");
    load_->setToolTip("Load a saved game");
    network_ = new QPushButton("N&etwork Play");
    network_->setToolTip("Connect to a server and play with other players");
    network_->setEnabled(static_cast<bool>(networkPlay_));
    exit_ = new QPushButton("E&xit");
    exit_->setToolTip("Exit Kestra");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {new_, load_, network_, exit_}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture);
    layout->addWidget(title);
    layout->addLayout(buttons);
    connect(new_, &QPushButton::clicked, this, &TStartupForm::NewGameClicked);
    connect(load_, &QPushButton::clicked, this, &TStartupForm::LoadGameClicked);
    connect(network_, &QPushButton::clicked, this, &TStartupForm::NetworkPlayClicked);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
}

void TStartupForm::NewGameClicked() {
    if (area::ScenarioNames().empty()) {
        accept();
        return;
    }
    TNewSimForm form(sim_, folder_, this);
    if (form.exec() == QDialog::Accepted) accept();
}

void TStartupForm::LoadGameClicked() {
    if (LoadGame(sim_, folder_)) accept();
}

void TStartupForm::NetworkPlayClicked() {
    if (networkPlay_ && networkPlay_()) {
        sim_.Display().RedrawPanel();
        accept();
    }
}

// --- the splash window

TSplashForm::TSplashForm() {
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    auto* picture = new QLabel;
    picture->setPixmap(Picture("Kestra"));
    auto* text = new QLabel("Please wait - initialising...");
    bar_ = new QProgressBar;
    bar_->setRange(0, 100);
    bar_->setValue(0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture);
    layout->addWidget(text);
    layout->addWidget(bar_);
}

void TSplashForm::SetSplashProgress(int percent) {
    bar_->setValue(std::clamp(percent, 0, 100));
    QApplication::processEvents();
}

int TSplashForm::Progress() const {
    return bar_->value();
}

}  // namespace kestra::app
