#include "options_form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "qt_surface.h"

namespace kestra::app {

namespace {

QScrollBar* Bar(int maximum) {
    auto* bar = new QScrollBar(Qt::Horizontal);
    bar->setRange(0, maximum);
    bar->setPageStep(maximum / 10);
    return bar;
}

// A labelled failure bar with "None", "Low", "Medium" and "High" above it.
QScrollBar* FailureBar(QGridLayout* grid, int row, const QString& title) {
    grid->addWidget(new QLabel(title), row, 0, 2, 1, Qt::AlignBottom);
    auto* marks = new QHBoxLayout;
    marks->addWidget(new QLabel("None"));
    marks->addStretch();
    marks->addWidget(new QLabel("Low"));
    marks->addStretch();
    marks->addWidget(new QLabel("Medium"));
    marks->addStretch();
    marks->addWidget(new QLabel("High"));
    grid->addLayout(marks, row, 1);
    QScrollBar* bar = Bar(100);
    grid->addWidget(bar, row + 1, 1);
    return bar;
}

}  // namespace

QString TOptionsForm::SpeedReadout(int position) {
    const int interval = SpeedPositionToInterval(std::clamp(position, 0, SpeedPositionMax));
    if (interval <= 0) return {};
    // Two major cycles make a simulated second: 500 ms a cycle is real time.
    const double times = 500.0 / interval;
    return QString("%1:1 (%2 ms a cycle)").arg(QString::number(times, 'g', 3)).arg(interval);
}

TOptionsForm::TOptionsForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setWindowTitle("Options");
    auto* layout = new QVBoxLayout(this);
    Pages = new QTabWidget;
    layout->addWidget(Pages);

    // General
    auto* general = new QWidget;
    auto* generalLayout = new QVBoxLayout(general);
    auto* speedGroup = new QGroupBox("&Simulation Speed");
    auto* speedLayout = new QGridLayout(speedGroup);
    SpeedTrackBar = new QSlider(Qt::Horizontal);
    SpeedTrackBar->setRange(0, SpeedPositionMax);
    SpeedTrackBar->setSingleStep(SpeedPositionStep);
    SpeedTrackBar->setPageStep(SpeedPositionStep);
    SpeedTrackBar->setTickInterval(SpeedPositionStep);
    SpeedTrackBar->setTickPosition(QSlider::TicksBelow);
    speedLayout->addWidget(SpeedTrackBar, 0, 0, 1, 3);
    // The ends are labelled under the ends; the readout between them says what the
    // position chosen means, since real time lies at the left end, not in the middle.
    speedLayout->addWidget(new QLabel("Normal (1:1)"), 1, 0, Qt::AlignLeft);
    SpeedReadoutLabel = new QLabel;
    speedLayout->addWidget(SpeedReadoutLabel, 1, 1, Qt::AlignHCenter);
    speedLayout->addWidget(new QLabel("Fastest"), 1, 2, Qt::AlignRight);
    speedLayout->setColumnStretch(0, 1);
    speedLayout->setColumnStretch(1, 1);
    speedLayout->setColumnStretch(2, 1);
    connect(SpeedTrackBar, &QSlider::valueChanged, this,
            [this](int position) { SpeedReadoutLabel->setText(SpeedReadout(position)); });
    SpeedReadoutLabel->setText(SpeedReadout(SpeedTrackBar->value()));
    generalLayout->addWidget(speedGroup);
    generalLayout->addStretch();
    Pages->addTab(general, "&General");

    // Display
    auto* display = new QWidget;
    auto* displayLayout = new QVBoxLayout(display);
    ShowTrackBreaksBox = new QCheckBox("Show &track circuit breaks");
    ShowAutosBox = new QCheckBox("Show &automatic signal aspects");
    ShowPointsBox = new QCheckBox("Show &point positions");
    ShowShuntsBox = new QCheckBox("Show all &shunt signals");
    for (QCheckBox* b : {ShowTrackBreaksBox, ShowAutosBox, ShowPointsBox, ShowShuntsBox})
        displayLayout->addWidget(b);
    auto* berGroup = new QGroupBox("Train describer m&ode");
    auto* berLayout = new QVBoxLayout(berGroup);
    BERModeButtons[0] = new QRadioButton("ARS state");
    BERModeButtons[1] = new QRadioButton("Delay");
    for (QRadioButton* b : BERModeButtons) berLayout->addWidget(b);
    displayLayout->addWidget(berGroup);
    displayLayout->addStretch();
    Pages->addTab(display, "&Display");

    // Control
    auto* control = new QWidget;
    auto* controlLayout = new QVBoxLayout(control);
    MousePageFlipBox = new QCheckBox("Page &flip when mouse at screen edge");
    NoSignalPopupMenuBox = new QCheckBox("Right-click cancels route");
    controlLayout->addWidget(MousePageFlipBox);
    controlLayout->addWidget(NoSignalPopupMenuBox);
    controlLayout->addStretch();
    Pages->addTab(control, "&Control");

    // Messages
    auto* messages = new QWidget;
    auto* messagesLayout = new QVBoxLayout(messages);
    auto* reportGroup = new QGroupBox("&Train Location Reporting");
    auto* reportLayout = new QVBoxLayout(reportGroup);
    const char* reportNames[4] = {"Never", "Only when 5 mins late or more",
                                  "Only when 2 mins late or more", "Always"};
    for (int i = 0; i < 4; ++i) {
        LocationReportingButtons[i] = new QRadioButton(reportNames[i]);
        reportLayout->addWidget(LocationReportingButtons[i]);
    }
    messagesLayout->addWidget(reportGroup);
    auto* eventGroup = new QGroupBox("&Event Settings");
    auto* eventLayout = new QGridLayout(eventGroup);
    auto* eventLabel = new QLabel("E&vent");
    EventCombo = new QComboBox;
    for (const TMessageOption& o : sim_.Messages().Options)
        EventCombo->addItem(QString::fromStdString(o.Name));
    eventLabel->setBuddy(EventCombo);
    eventLayout->addWidget(eventLabel, 0, 0);
    eventLayout->addWidget(EventCombo, 0, 1, 1, 3);
    ColourPanel = new QFrame;
    ColourPanel->setFrameShape(QFrame::Box);
    ColourPanel->setMinimumSize(48, 20);
    ColourPanel->setAutoFillBackground(true);
    ChangeColourButton = new QPushButton("&Change...");
    eventLayout->addWidget(new QLabel("Colour"), 1, 0);
    eventLayout->addWidget(ColourPanel, 1, 1);
    eventLayout->addWidget(ChangeColourButton, 1, 2);
    PopupBox = new QCheckBox("&Popup Message Box");
    eventLayout->addWidget(PopupBox, 2, 0, 1, 4);
    SoundBox = new QCheckBox("Play &sound:");
    SoundFileEdit = new QLineEdit;
    SoundFileEdit->setReadOnly(true);
    SoundFileButton = new QPushButton("...");
    SoundFileButton->setMaximumWidth(32);
    eventLayout->addWidget(SoundBox, 3, 0);
    eventLayout->addWidget(SoundFileEdit, 3, 1, 1, 2);
    eventLayout->addWidget(SoundFileButton, 3, 3);
    DisableBox = new QCheckBox("&Disable");
    eventLayout->addWidget(DisableBox, 4, 0, 1, 4);
    messagesLayout->addWidget(eventGroup);
    messagesLayout->addStretch();
    Pages->addTab(messages, "&Messages");

    // ARS
    auto* ars = new QWidget;
    auto* arsLayout = new QVBoxLayout(ars);
    arsLayout->addWidget(new QLabel("Auto routesetting for:"));
    ARSClassList = new QListWidget;
    for (int i = 0; i < ARSClassCount; ++i) {
        auto* item = new QListWidgetItem(i < 10 ? QString("Class %1").arg(i) : QString("Other"));
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(Qt::Unchecked);
        ARSClassList->addItem(item);
    }
    arsLayout->addWidget(ARSClassList);
    ACIBox = new QCheckBox("Automatic Code Insertion (ACI)");
    arsLayout->addWidget(ACIBox);
    auto* clickGroup = new QGroupBox("Clicking on a  train description shows...");
    auto* clickLayout = new QVBoxLayout(clickGroup);
    const char* clickNames[3] = {"ARS timetable summary", "ARS routesetting status",
                                 "ARS popup information"};
    for (int i = 0; i < 3; ++i) {
        ARSClickModeButtons[i] = new QRadioButton(clickNames[i]);
        clickLayout->addWidget(ARSClickModeButtons[i]);
    }
    arsLayout->addWidget(clickGroup);
    Pages->addTab(ars, "&ARS");

    // Failures
    auto* failures = new QWidget;
    auto* failuresLayout = new QVBoxLayout(failures);
    failuresLayout->addWidget(
        new QLabel("Note: These options apply to the current simulation only"));
    auto* grid = new QGridLayout;
    PointsFailureBar = FailureBar(grid, 0, "Points failures");
    SignalFailureBar = FailureBar(grid, 2, "Signal failures");
    TrackFailureBar = FailureBar(grid, 4, "Track circuit failures");
    grid->addWidget(new QLabel("Max failures"), 6, 0);
    MaxFailuresSpin = new QSpinBox;
    MaxFailuresSpin->setRange(0, 10);
    grid->addWidget(MaxFailuresSpin, 6, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel("Train delay probability"), 7, 0);
    DelayProbabilityBar = Bar(1000);
    grid->addWidget(DelayProbabilityBar, 7, 1);
    grid->addWidget(new QLabel("Train delay amount"), 8, 0);
    DelayAmountBar = Bar(1000);
    grid->addWidget(DelayAmountBar, 8, 1);
    failuresLayout->addLayout(grid);
    failuresLayout->addStretch();
    Pages->addTab(failures, "&Failures");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    OkButton = new QPushButton("Ok");
    OkButton->setToolTip("Accept the changes");
    OkButton->setDefault(true);
    CancelButton = new QPushButton("Cancel");
    CancelButton->setToolTip("Abandon the changes");
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);

    connect(OkButton, &QPushButton::clicked, this, &TOptionsForm::Accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(EventCombo, &QComboBox::currentIndexChanged, this, &TOptionsForm::ShowEventType);
    for (QCheckBox* b : {PopupBox, SoundBox, DisableBox})
        connect(b, &QCheckBox::toggled, this, &TOptionsForm::StoreEventFlags);
    connect(ChangeColourButton, &QPushButton::clicked, this, &TOptionsForm::ChooseColour);
    connect(SoundFileButton, &QPushButton::clicked, this, &TOptionsForm::ChooseSoundFile);

    Load();
}

void TOptionsForm::Load() {
    const OptionsFormValues f = OptionsToForm(sim_);
    SpeedTrackBar->setValue(f.SpeedPosition);
    ShowTrackBreaksBox->setChecked(f.ShowTrackBreaks);
    ShowAutosBox->setChecked(f.ShowAutos);
    ShowPointsBox->setChecked(f.ShowPoints);
    ShowShuntsBox->setChecked(f.ShowShunts);
    BERModeButtons[f.BERMode == 1 ? 1 : 0]->setChecked(true);
    MousePageFlipBox->setChecked(f.MousePageFlip);
    NoSignalPopupMenuBox->setChecked(f.NoSignalPopupMenu);
    LocationReportingButtons[std::clamp(f.LocationReporting, 0, 3)]->setChecked(true);
    for (int i = 0; i < ARSClassCount; ++i)
        ARSClassList->item(i)->setCheckState(f.ARS[i] ? Qt::Checked : Qt::Unchecked);
    ACIBox->setChecked(f.ACI);
    ARSClickModeButtons[std::clamp(f.ARSClickMode, 0, 2)]->setChecked(true);
    PointsFailureBar->setValue(f.PointsFailurePosition);
    SignalFailureBar->setValue(f.SignalFailurePosition);
    TrackFailureBar->setValue(f.TrackFailurePosition);
    MaxFailuresSpin->setValue(f.MaxFailures);
    DelayProbabilityBar->setValue(f.DelayProbabilityPosition);
    DelayAmountBar->setValue(f.DelayAmountPosition);
    EventCombo->setCurrentIndex(0);
    ShowEventType(0);
}

TMessageOption& TOptionsForm::Selected() {
    const int type = std::clamp(EventCombo->currentIndex(), 0, EventTypeCount - 1);
    return sim_.Messages().Options[type];
}

void TOptionsForm::ShowEventType(int type) {
    if (type < 0 || type >= EventTypeCount) return;
    const TMessageOption& o = sim_.Messages().Options[type];
    loading_ = true;
    QPalette pal = ColourPanel->palette();
    pal.setColor(QPalette::Window, ToQColor(o.Colour));
    ColourPanel->setPalette(pal);
    PopupBox->setChecked(o.Popup);
    SoundBox->setChecked(o.Sound);
    DisableBox->setChecked(o.Disabled);
    DisableBox->setEnabled(o.CanDisable);
    SoundFileEdit->setText(QString::fromStdString(o.SoundFilename));
    loading_ = false;
}

// The event-type controls write straight into the live record of the selected type.
void TOptionsForm::StoreEventFlags() {
    if (loading_) return;
    TMessageOption& o = Selected();
    o.Popup = PopupBox->isChecked();
    o.Sound = SoundBox->isChecked();
    o.Disabled = o.CanDisable && DisableBox->isChecked();
}

void TOptionsForm::ChooseColour() {
    TMessageOption& o = Selected();
    const QColor chosen = QColorDialog::getColor(ToQColor(o.Colour), this, "Colour");
    if (!chosen.isValid()) return;
    o.Colour = FromQColor(chosen);
    ShowEventType(EventCombo->currentIndex());
}

void TOptionsForm::ChooseSoundFile() {
    const QString file = QFileDialog::getOpenFileName(this, "Sound", QString(),
                                                      "Wave files (*.WAV *.wav);;All files (*.*)");
    if (file.isEmpty()) return;
    TMessageOption& o = Selected();
    o.SoundFilename = file.toStdString();
    SoundFileEdit->setText(file);
    sim_.Audio().PlayFile(o.SoundFilename);
}

OptionsFormValues TOptionsForm::Values() const {
    OptionsFormValues f;
    f.SpeedPosition = SpeedTrackBar->value();
    f.ShowTrackBreaks = ShowTrackBreaksBox->isChecked();
    f.ShowAutos = ShowAutosBox->isChecked();
    f.ShowPoints = ShowPointsBox->isChecked();
    f.ShowShunts = ShowShuntsBox->isChecked();
    f.BERMode = BERModeButtons[1]->isChecked() ? 1 : 0;
    f.MousePageFlip = MousePageFlipBox->isChecked();
    f.NoSignalPopupMenu = NoSignalPopupMenuBox->isChecked();
    for (int i = 0; i < 4; ++i)
        if (LocationReportingButtons[i]->isChecked()) f.LocationReporting = i;
    for (int i = 0; i < ARSClassCount; ++i)
        f.ARS[i] = ARSClassList->item(i)->checkState() == Qt::Checked;
    f.ACI = ACIBox->isChecked();
    for (int i = 0; i < 3; ++i)
        if (ARSClickModeButtons[i]->isChecked()) f.ARSClickMode = i;
    f.PointsFailurePosition = PointsFailureBar->value();
    f.SignalFailurePosition = SignalFailureBar->value();
    f.TrackFailurePosition = TrackFailureBar->value();
    f.MaxFailures = MaxFailuresSpin->value();
    f.DelayProbabilityPosition = DelayProbabilityBar->value();
    f.DelayAmountPosition = DelayAmountBar->value();
    return f;
}

void TOptionsForm::Accept() {
    ApplyOptionsForm(sim_, Values());
    accept();
}

}  // namespace kestra::app
