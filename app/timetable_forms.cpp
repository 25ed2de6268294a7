#include "timetable_forms.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "core/ascii_text.h"
#include "core/time_format.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "timetable/timetable_analysis.h"
#include "timetable/timetable_authoring.h"
#include "timetable/timetable_edit.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_validate.h"

namespace kestra::app {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

const std::array<const char*, 4> PowerNames{"Overhead", "3rd rail", "4th rail", "Diesel"};
const std::array<std::int32_t, 4> PowerBits{PowerOverhead, PowerThirdRail, PowerFourthRail,
                                            PowerDiesel};

// A headcode box: four letters or digits, shown in upper case.
QLineEdit* HeadcodeBox(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(4);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[A-Za-z0-9]{0,4}"), edit));
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
        const int at = edit->cursorPosition();
        edit->setText(text.toUpper());
        edit->setCursorPosition(at);
    });
    return edit;
}

bool IsHeadcode(const QString& text) {
    static const QRegularExpression four("^[A-Z0-9]{4}$");
    return four.match(text).hasMatch();
}

// A time box: "HH:MM", a blank, and H for a half minute.
QLineEdit* TimeBox(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(7);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance("00:00 H") + 16);
    return edit;
}

// What a time box holds, as the seven characters the time parser reads: a shorter
// entry ("07:05") is filled out with blanks, and an empty box is no time (00:00).
std::string TimeBoxText(const QLineEdit* edit) {
    std::string text = edit->text().toStdString();
    if (edit->text().trimmed().isEmpty()) text = "00:00";
    if (text.size() < 7) text.resize(7, ' ');
    return text;
}

QLabel* Hint(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setStyleSheet("color: #a00000");
    return label;
}

QFont Fixed() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

void FillAccelBrake(QComboBox* box) {
    for (const char* name : AccelBrakeNames) box->addItem(name);
}

QGroupBox* PowerGroup(std::array<QCheckBox*, 4>& boxes, const QString& title) {
    auto* group = new QGroupBox(title);
    group->setToolTip("Selects the type of power that this train can use for movement");
    auto* layout = new QHBoxLayout(group);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        boxes[i] = new QCheckBox(PowerNames[i]);
        layout->addWidget(boxes[i]);
    }
    return group;
}

std::int32_t PowerFrom(const std::array<QCheckBox*, 4>& boxes) {
    std::int32_t bits = 0;
    for (std::size_t i = 0; i < boxes.size(); ++i)
        if (boxes[i]->isChecked()) bits |= PowerBits[i];
    return bits;
}

void ShowPower(const std::array<QCheckBox*, 4>& boxes, std::int32_t bits) {
    for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked((bits & PowerBits[i]) != 0);
}

QString ActivityText(const TTimetableActivity& a) {
    static const std::array<const char*, 4> names{"Next train", "DividesR", "DividesF", "Joins"};
    const char* name = a.ActivityKind < names.size() ? names[a.ActivityKind] : "?";
    return QString(name) + " " + Q(a.Headcode);
}

// An OK and a Cancel button in a row at the right.
QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* b : buttons) row->addWidget(b);
    return row;
}

QPushButton* Button(const QString& caption, const QString& hint = {}) {
    auto* b = new QPushButton(caption);
    b->setAutoDefault(false);
    if (!hint.isEmpty()) b->setToolTip(hint);
    return b;
}

}  // namespace

const std::array<const char*, 5> AccelBrakeNames{
    "Very low (slow freight)", "Low (standard freight)", "Medium (intercity)", "High (commuter)",
    "Very high (light loco, metro)"};

bool AskOkCancel(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, "Kestra", text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    if (text.contains('\t')) {
        // A table of alternatives: its columns line up only in a fixed font, with the tabs
        // as blanks to the next column of eight.
        QString expanded;
        int column = 0;
        for (const QChar c : text) {
            if (c == '\t') {
                do {
                    expanded += ' ';
                } while (++column % 8 != 0);
            } else {
                expanded += c;
                column = c == '\n' ? 0 : column + 1;
            }
        }
        box.setText(expanded);
        box.setFont(Fixed());
        box.setStyleSheet("QLabel#qt_msgbox_label { min-width: 600px; }");
    }
    return box.exec() == QMessageBox::Ok;
}

// --- the train category editor

TTrainCategoryForm::TTrainCategoryForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setWindowTitle("Train Category");
    setModal(true);
    auto* pages = new QTabWidget;
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    DescriptionEdit = new QLineEdit;
    LengthEdit = new QLineEdit;
    MaxSpeedEdit = new QLineEdit;
    LengthEdit->setMaxLength(3);
    MaxSpeedEdit->setMaxLength(3);
    AccelBrakeBox = new QComboBox;
    AccelBrakeBox->setToolTip("Category of acceleration and braking profiles");
    FillAccelBrake(AccelBrakeBox);
    FreightBox = new QCheckBox("Use freight linespeeds");
    auto label = [](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label("&Description", DescriptionEdit), 0, 0);
    grid->addWidget(DescriptionEdit, 0, 1, 1, 2);
    grid->addWidget(label("Train &Length", LengthEdit), 1, 0);
    grid->addWidget(LengthEdit, 1, 1);
    grid->addWidget(new QLabel("m"), 1, 2);
    grid->addWidget(label("Max &Speed", MaxSpeedEdit), 2, 0);
    grid->addWidget(MaxSpeedEdit, 2, 1);
    grid->addWidget(new QLabel("mph"), 2, 2);
    grid->addWidget(PowerGroup(PowerBoxes, "&Power Types"), 3, 0, 1, 3);
    grid->addWidget(label("&Accel/Brake Rate", AccelBrakeBox), 4, 0);
    grid->addWidget(AccelBrakeBox, 4, 1, 1, 2);
    grid->addWidget(FreightBox, 5, 0, 1, 3);
    pages->addTab(page, "Category Details");
    OkButton = Button("&Ok");
    OkButton->setDefault(true);
    CancelButton = Button("&Cancel");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addLayout(ButtonRow({OkButton, CancelButton}));
    connect(OkButton, &QPushButton::clicked, this, &TTrainCategoryForm::OkClicked);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TTrainCategoryForm::Load(TTrainCategory& category) {
    category_ = &category;
    DescriptionEdit->setText(Q(category.Description));
    LengthEdit->setText(QString::number(category.Length));
    MaxSpeedEdit->setText(QString::number(category.MaxSpeed));
    ShowPower(PowerBoxes, category.PowerTypes);
    AccelBrakeBox->setCurrentIndex(std::clamp(category.AccelBrake, 0, 4));
    FreightBox->setChecked(category.IsFreight);
    DescriptionEdit->setFocus();
}

bool TTrainCategoryForm::Edit(TTrainCategory& category) {
    Load(category);
    return exec() == QDialog::Accepted;
}

void TTrainCategoryForm::OkClicked() {
    if (!category_) return reject();
    CategoryBoxes boxes;
    boxes.Description = DescriptionEdit->text().toStdString();
    boxes.Length = LengthEdit->text().toStdString();
    boxes.MaxSpeed = MaxSpeedEdit->text().toStdString();
    boxes.PowerTypes = PowerFrom(PowerBoxes);
    boxes.AccelBrake = AccelBrakeBox->currentIndex();
    boxes.IsFreight = FreightBox->isChecked();
    std::string message;
    if (!StoreCategoryBoxes(sim_, *category_, boxes, message)) {
        sim_.Dialog().ShowError(message);
        return;
    }
    accept();
}

// --- the trip activity editor

TTimetableTripActivityForm::TTimetableTripActivityForm(Sim& sim, QWidget* parent)
    : QDialog(parent), sim_(sim) {
    setWindowTitle("Trip Activity Editor");
    setModal(true);
    auto* group = new QGroupBox("&Activity");
    auto* kinds = new QVBoxLayout(group);
    const std::array<const char*, 4> captions{"&Next Train", "Divides (new &rear)",
                                              "Divides (new &front)", "&Joins"};
    for (std::size_t i = 0; i < KindButtons.size(); ++i) {
        KindButtons[i] = new QRadioButton(captions[i]);
        kinds->addWidget(KindButtons[i]);
    }
    HeadcodeEdit = HeadcodeBox(this);
    auto* idLabel = new QLabel("&Train ID");
    idLabel->setBuddy(HeadcodeEdit);
    HintLabel = Hint({});
    HintLabel->hide();
    OkButton = Button("&Ok");
    OkButton->setDefault(true);
    CancelButton = Button("&Cancel");
    auto* id = new QHBoxLayout;
    id->addWidget(idLabel);
    id->addWidget(HeadcodeEdit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(id);
    layout->addWidget(HintLabel);
    layout->addLayout(ButtonRow({OkButton, CancelButton}));
    connect(OkButton, &QPushButton::clicked, this, &TTimetableTripActivityForm::OkClicked);
    connect(HeadcodeEdit, &QLineEdit::textEdited, HintLabel, &QLabel::hide);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TTimetableTripActivityForm::Load(TTimetableActivity& activity) {
    activity_ = &activity;
    const std::size_t kind = activity.ActivityKind < KindButtons.size() ? activity.ActivityKind : 0;
    KindButtons[kind]->setChecked(true);
    HeadcodeEdit->setText(Q(activity.Headcode).toUpper());
    HintLabel->hide();
}

bool TTimetableTripActivityForm::Edit(TTimetableActivity& activity) {
    Load(activity);
    return exec() == QDialog::Accepted;
}

void TTimetableTripActivityForm::OkClicked() {
    if (!activity_) return reject();
    const QString headcode = HeadcodeEdit->text().toUpper();
    if (!IsHeadcode(headcode)) {
        HintLabel->setText("The other train's ID is four letters or digits, such as 2T11.");
        HintLabel->show();
        HeadcodeEdit->setFocus();
        return;
    }
    for (std::size_t i = 0; i < KindButtons.size(); ++i) {
        if (KindButtons[i]->isChecked()) activity_->ActivityKind = static_cast<std::uint8_t>(i);
    }
    activity_->Headcode = headcode.toStdString();
    sim_.Timetable.Modified = true;
    accept();
}

// --- the trip editor

TTripEditForm::TTripEditForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setWindowTitle("Timetable Trip Editor");
    setModal(true);
    auto label = [](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    LocationBox = new QComboBox;
    LocationBox->setToolTip("Location");
    ArrivalEdit = TimeBox(this);
    ArrivalEdit->setToolTip("Arrival time at location");
    DepartureEdit = TimeBox(this);
    DepartureEdit->setToolTip("Departure or passing time at location");
    PassBox = new QCheckBox("Pa&ssing Time");
    PassBox->setToolTip("Non-stop");
    PlatformBox = new QComboBox;
    PlatformBox->setToolTip("Platform at location");
    LineBox = new QComboBox;
    LineBox->setToolTip("Line away from location");
    PathBox = new QComboBox;
    PathBox->setToolTip("Path into location");
    EngineeringEdit = new QLineEdit;
    EngineeringEdit->setMaxLength(4);
    EngineeringEdit->setToolTip("Time allowed for engineering works");
    PathingEdit = new QLineEdit;
    PathingEdit->setMaxLength(4);
    PathingEdit->setToolTip("Time allowed for conflicting trains");
    ActivitiesList = new QListWidget;
    ActivitiesList->setToolTip("Activity list for this location");
    AddActivityButton = Button("Add Acti&vity", "Add new activity");
    EditActivityButton = Button("Edit Activit&y", "Edit activity");
    EraseActivityButton = Button("Era&se Activity", "Delete activity");
    HintLabel = Hint({});
    HintLabel->hide();
    OkButton = Button("Ok", "Save changes and close");
    OkButton->setDefault(true);
    CancelButton = Button("Cancel", "Abandon changes and close");
    NextButton = Button("&Next/Insert", "Go to next item, inserting a new item if necessary");

    auto* grid = new QGridLayout;
    grid->addWidget(label("&Location", LocationBox), 0, 0);
    grid->addWidget(LocationBox, 0, 1, 1, 3);
    grid->addWidget(label("&Arrival Time", ArrivalEdit), 1, 0);
    grid->addWidget(ArrivalEdit, 1, 1);
    grid->addWidget(label("&Dep/Pass", DepartureEdit), 1, 2);
    grid->addWidget(DepartureEdit, 1, 3);
    grid->addWidget(PassBox, 2, 1, 1, 3);
    grid->addWidget(label("&Plat", PlatformBox), 3, 0);
    grid->addWidget(PlatformBox, 3, 1);
    grid->addWidget(label("L&ine", LineBox), 3, 2);
    grid->addWidget(LineBox, 3, 3);
    grid->addWidget(label("Pa&th", PathBox), 4, 0);
    grid->addWidget(PathBox, 4, 1);
    auto* allowances = new QGroupBox("Allowances");
    auto* ag = new QHBoxLayout(allowances);
    ag->addWidget(label("&Engineering", EngineeringEdit));
    ag->addWidget(EngineeringEdit);
    ag->addWidget(label("Pat&hing", PathingEdit));
    ag->addWidget(PathingEdit);
    auto* activities = new QGroupBox("A&ctivities");
    auto* act = new QVBoxLayout(activities);
    act->addWidget(ActivitiesList);
    auto* actButtons = new QHBoxLayout;
    actButtons->addWidget(AddActivityButton);
    actButtons->addWidget(EditActivityButton);
    actButtons->addWidget(EraseActivityButton);
    act->addLayout(actButtons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(allowances);
    layout->addWidget(activities);
    layout->addWidget(HintLabel);
    layout->addLayout(ButtonRow({OkButton, CancelButton, NextButton}));

    activityForm_ = new TTimetableTripActivityForm(sim_, this);
    connect(LocationBox, &QComboBox::activated, this, [this] { LocationChosen(); });
    connect(OkButton, &QPushButton::clicked, this, [this] { Confirm(TripEditResult::Ok); });
    connect(NextButton, &QPushButton::clicked, this, [this] { Confirm(TripEditResult::Next); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(AddActivityButton, &QPushButton::clicked, this, &TTripEditForm::AddActivity);
    connect(EditActivityButton, &QPushButton::clicked, this, &TTripEditForm::EditActivity);
    connect(EraseActivityButton, &QPushButton::clicked, this, &TTripEditForm::EraseActivity);
    connect(ActivitiesList, &QListWidget::itemDoubleClicked, this, &TTripEditForm::EditActivity);
    resize(460, 420);
}

TLOC* TTripEditForm::ChosenLocation() const {
    const int row = LocationBox->currentIndex() - 1;
    if (row < 0 || row >= static_cast<int>(locations_.size())) return nullptr;
    return locations_[static_cast<std::size_t>(row)];
}

void TTripEditForm::FillCodes(const TLOC* location) {
    auto fill = [&](QComboBox* box, const std::vector<std::string>* codes) {
        box->clear();
        box->addItem(QString());
        if (codes) {
            std::vector<std::string> sorted = *codes;
            std::sort(sorted.begin(), sorted.end());
            for (const std::string& c : sorted) box->addItem(Q(c));
        }
        box->setEnabled(location != nullptr);
    };
    fill(PlatformBox, location ? &location->Platforms : nullptr);
    fill(LineBox, location ? &location->Lines : nullptr);
    fill(PathBox, location ? &location->Paths : nullptr);
}

void TTripEditForm::FillActivities() {
    const int row = ActivitiesList->currentRow();
    ActivitiesList->clear();
    if (!trip_) return;
    for (const TTimetableActivity& a : trip_->Activities.Items)
        ActivitiesList->addItem(ActivityText(a));
    if (ActivitiesList->count() > 0)
        ActivitiesList->setCurrentRow(std::clamp(row, 0, ActivitiesList->count() - 1));
}

void TTripEditForm::Load(TTimetableTrip& trip) {
    trip_ = &trip;
    result_ = TripEditResult::Cancel;
    locations_.clear();
    sim_.Locations.ForEach([&](TLOC& l) { locations_.push_back(&l); });
    std::stable_sort(locations_.begin(), locations_.end(),
                     [](const TLOC* a, const TLOC* b) { return a->Name < b->Name; });
    LocationBox->clear();
    LocationBox->addItem("(None)");
    int chosen = 0;
    for (std::size_t i = 0; i < locations_.size(); ++i) {
        LocationBox->addItem(Q(locations_[i]->Name));
        if (locations_[i] == trip.Location) chosen = static_cast<int>(i) + 1;
    }
    LocationBox->setCurrentIndex(chosen);
    FillCodes(trip.Location);
    auto select = [](QComboBox* box, const std::string& code) {
        const int at = box->findText(Q(code));
        if (at >= 0) {
            box->setCurrentIndex(at);
        } else if (!code.empty()) {
            // A code the location does not list stays as it is, to be refused by
            // validation rather than lost without a word.
            box->addItem(Q(code));
            box->setCurrentIndex(box->count() - 1);
        }
    };
    select(PlatformBox, trip.Platform);
    select(LineBox, trip.Line);
    select(PathBox, trip.Path);
    ArrivalEdit->setText(Q(FormatHalfMinuteH(trip.ArrTime)));
    DepartureEdit->setText(Q(FormatHalfMinuteH(trip.DepTime)));
    PassBox->setChecked(trip.IsPass);
    EngineeringEdit->setText(Q(FormatAllowanceBox(trip.EngAllowance)));
    PathingEdit->setText(Q(FormatAllowanceBox(trip.PathAllowance)));
    ActivitiesList->clear();
    FillActivities();
    HintLabel->hide();
    LocationBox->setFocus();
}

TripEditResult TTripEditForm::Edit(TTimetableTrip& trip) {
    Load(trip);
    exec();
    return result_;
}

void TTripEditForm::LocationChosen() {
    FillCodes(ChosenLocation());
    if (trip_) {
        trip_->Platform.clear();
        trip_->Line.clear();
        trip_->Path.clear();
    }
}

void TTripEditForm::Confirm(TripEditResult result) {
    if (!trip_) return reject();
    TripBoxes boxes;
    boxes.Location = ChosenLocation();
    boxes.Arrival = TimeBoxText(ArrivalEdit);
    boxes.Departure = TimeBoxText(DepartureEdit);
    boxes.Pass = PassBox->isChecked();
    boxes.Platform = PlatformBox->currentText().toStdString();
    boxes.Line = LineBox->currentText().toStdString();
    boxes.Path = PathBox->currentText().toStdString();
    boxes.Engineering = EngineeringEdit->text().toStdString();
    boxes.Pathing = PathingEdit->text().toStdString();
    if (!StoreTripBoxes(sim_, *trip_, boxes)) {
        // The form stays open; the line below the boxes says why.
        QString why;
        if (!boxes.Location)
            why = "Choose a location for this line.";
        else if (ParseHalfMinute(boxes.Arrival) < 0)
            why =
                "The arrival time cannot be read: write it as HH:MM, with H after a blank "
                "for a half minute (07:05 H).";
        else
            why =
                "The departure or passing time cannot be read: write it as HH:MM, with H "
                "after a blank for a half minute (07:05 H).";
        HintLabel->setText(why);
        HintLabel->show();
        return;
    }
    result_ = result;
    accept();
}

void TTripEditForm::AddActivity() {
    if (!trip_) return;
    TTimetableActivity activity;
    if (activityForm_->Edit(activity)) trip_->Activities.Items.push_back(activity);
    FillActivities();
    ActivitiesList->setCurrentRow(ActivitiesList->count() - 1);
}

void TTripEditForm::EditActivity() {
    const int row = ActivitiesList->currentRow();
    if (!trip_ || row < 0 || row >= static_cast<int>(trip_->Activities.Items.size())) return;
    TTimetableActivity copy = trip_->Activities.Items[static_cast<std::size_t>(row)];
    if (activityForm_->Edit(copy)) trip_->Activities.Items[static_cast<std::size_t>(row)] = copy;
    FillActivities();
}

void TTripEditForm::EraseActivity() {
    const int row = ActivitiesList->currentRow();
    if (!trip_ || row < 0 || row >= static_cast<int>(trip_->Activities.Items.size())) return;
    trip_->Activities.Items.erase(trip_->Activities.Items.begin() + row);
    FillActivities();
}

// --- the timetable editor

TTimetableEditForm::TTimetableEditForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setModal(true);
    auto label = [](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    Pages = new QTabWidget;

    // Train details.
    auto* details = new QWidget;
    auto* dg = new QGridLayout(details);
    HeadcodeEdit = HeadcodeBox(this);
    HeadcodeEdit->setToolTip("Headcode");
    HeadcodeEdit->setMaximumWidth(HeadcodeEdit->fontMetrics().horizontalAdvance("WWWW") + 16);
    EntryPointBox = new QComboBox;
    EntryPointBox->setToolTip("Area entry location");
    EntryTimeEdit = TimeBox(this);
    EntryTimeEdit->setToolTip("Area entry time");
    DescriptionEdit = new QLineEdit;
    DescriptionEdit->setToolTip("Textual description of train");
    AsRequiredBox = new QCheckBox("Runs 'As Required' or as a Special");
    AsRequiredBox->setToolTip("Runs the train as required or as a special");
    PercentBox = new QSpinBox;
    PercentBox->setRange(0, 100);
    PercentBox->setSingleStep(5);
    PercentBox->setMaximumWidth(80);
    PercentBox->setToolTip("Percentage of time that this train will run");
    STPBox = new QCheckBox("&Special Timing Pattern");
    STPBox->setToolTip(
        "Does not create train, instead this timetable is used for ARS Special Timing Patterns");
    dg->addWidget(label("Train &ID", HeadcodeEdit), 0, 0);
    dg->addWidget(HeadcodeEdit, 0, 1);
    dg->addWidget(label("Entry &Point", EntryPointBox), 1, 0);
    dg->addWidget(EntryPointBox, 1, 1);
    dg->addWidget(label("Entry &Time", EntryTimeEdit), 2, 0);
    dg->addWidget(EntryTimeEdit, 2, 1);
    dg->addWidget(label("D&escription", DescriptionEdit), 3, 0);
    dg->addWidget(DescriptionEdit, 3, 1);
    auto* service = new QGroupBox("Ser&vice Options");
    auto* sg = new QGridLayout(service);
    sg->addWidget(AsRequiredBox, 0, 0, 1, 2);
    sg->addWidget(PercentBox, 1, 0);
    sg->addWidget(new QLabel("% of the time"), 1, 1);
    dg->addWidget(service, 4, 0, 1, 2);
    dg->addWidget(STPBox, 5, 0, 1, 2);
    dg->setRowStretch(6, 1);
    Pages->addTab(details, "Train &Details");

    // Characteristics.
    auto* character = new QWidget;
    auto* cg = new QGridLayout(character);
    CategoryBox = new QComboBox;
    CategoryBox->setToolTip("Train motive power category");
    AccelBrakeBox = new QComboBox;
    AccelBrakeBox->setToolTip("Category of acceleration and braking profiles");
    FillAccelBrake(AccelBrakeBox);
    MaxSpeedEdit = new QLineEdit;
    MaxSpeedEdit->setMaxLength(3);
    MaxSpeedEdit->setMaximumWidth(60);
    LengthEdit = new QLineEdit;
    LengthEdit->setMaxLength(3);
    LengthEdit->setMaximumWidth(60);
    LengthEdit->setToolTip("Length of the train in metres");
    FreightBox = new QCheckBox("Use freight linespeeds");
    FreightBox->setToolTip("Uses the lower of differential speed limits when ticked");
    cg->addWidget(new QLabel("Train Category"), 0, 0);
    cg->addWidget(CategoryBox, 0, 1, 1, 2);
    auto* custom = new QGroupBox("Custom Category Details");
    auto* cu = new QGridLayout(custom);
    cu->addWidget(label("&Accel/Brake Rate", AccelBrakeBox), 0, 0);
    cu->addWidget(AccelBrakeBox, 0, 1, 1, 2);
    cu->addWidget(label("Max &Speed", MaxSpeedEdit), 1, 0);
    cu->addWidget(MaxSpeedEdit, 1, 1);
    cu->addWidget(new QLabel("mph"), 1, 2);
    cu->addWidget(label("Train &Length", LengthEdit), 2, 0);
    cu->addWidget(LengthEdit, 2, 1);
    cu->addWidget(new QLabel("m"), 2, 2);
    cu->addWidget(FreightBox, 3, 0, 1, 3);
    cu->addWidget(PowerGroup(PowerBoxes, "&Power Types"), 4, 0, 1, 3);
    cg->addWidget(custom, 1, 0, 1, 3);
    cg->setRowStretch(2, 1);
    Pages->addTab(character, "Train C&haracteristics");

    // The location list.
    auto* locations = new QWidget;
    auto* lv = new QVBoxLayout(locations);
    // The labels stand over the columns of the trip rows: the location right-aligned in
    // twenty characters, the two times in six, the codes and allowances in three.
    auto put = [](QString& line, int column, const QString& text) {
        if (line.size() < column + text.size()) line.resize(column + text.size(), ' ');
        line.replace(column, text.size(), text);
    };
    QString first, second;
    put(first, 12, "Location");
    put(first, 21, "Arr");
    put(first, 28, "Dep /");
    put(first, 34, "Path");
    put(first, 38, "Plat");
    put(first, 42, "Line");
    put(first, 47, "Eng");
    put(first, 50, "Path");
    put(first, 55, "Activities");
    put(second, 28, "Pass");
    put(second, 47, "allowance");
    auto* columns = new QLabel(first + "\n" + second);
    columns->setIndent(4);
    columns->setFont(Fixed());
    TripList = new QListWidget;
    TripList->setFont(Fixed());
    TripList->setToolTip("Location list");
    AddAboveButton = Button("Add above", "Add item above");
    AddBelowButton = Button("Add &below", "Add item below");
    MoveUpButton = Button("Move up", "Move item up");
    MoveDownButton = Button("Move down", "Move item down");
    EditButton = Button("Edit", "Edit item");
    DeleteButton = Button("Delete", "Delete item");
    ClearAutoinsertButton = Button("Clear autoinsert");
    lv->addWidget(columns);
    lv->addWidget(TripList);
    auto* tb = new QHBoxLayout;
    for (QPushButton* b : {AddAboveButton, AddBelowButton, MoveUpButton, MoveDownButton, EditButton,
                           DeleteButton, ClearAutoinsertButton})
        tb->addWidget(b);
    lv->addLayout(tb);
    Pages->addTab(locations, "&Location List");

    OkButton = Button("&Ok", "Save changes and close");
    OkButton->setDefault(true);
    CancelButton = Button("&Cancel", "Abandon all changes");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Pages);
    layout->addLayout(ButtonRow({OkButton, CancelButton}));

    tripForm_ = new TTripEditForm(sim_, this);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(HeadcodeEdit, &QLineEdit::editingFinished, this, &TTimetableEditForm::UpdateCaption);
    connect(CategoryBox, &QComboBox::activated, this, &TTimetableEditForm::CategoryChosen);
    connect(AccelBrakeBox, &QComboBox::activated, this, [this] { CustomChanged(); });
    connect(MaxSpeedEdit, &QLineEdit::textEdited, this, [this] { CustomChanged(); });
    connect(LengthEdit, &QLineEdit::textEdited, this, [this] { CustomChanged(); });
    connect(FreightBox, &QCheckBox::clicked, this, [this] { CustomChanged(); });
    for (QCheckBox* b : PowerBoxes)
        connect(b, &QCheckBox::clicked, this, [this] { CustomChanged(); });
    connect(TripList, &QListWidget::currentRowChanged, this,
            &TTimetableEditForm::UpdateTripButtons);
    connect(TripList, &QListWidget::itemDoubleClicked, this, &TTimetableEditForm::EditTrip);
    connect(EditButton, &QPushButton::clicked, this, &TTimetableEditForm::EditTrip);
    connect(AddBelowButton, &QPushButton::clicked, this, &TTimetableEditForm::AddBelow);
    connect(AddAboveButton, &QPushButton::clicked, this, &TTimetableEditForm::AddAbove);
    connect(MoveUpButton, &QPushButton::clicked, this, &TTimetableEditForm::MoveUp);
    connect(MoveDownButton, &QPushButton::clicked, this, &TTimetableEditForm::MoveDown);
    connect(DeleteButton, &QPushButton::clicked, this, &TTimetableEditForm::DeleteTrip);
    connect(ClearAutoinsertButton, &QPushButton::clicked, this,
            &TTimetableEditForm::ClearAutoinsert);
    resize(720, 480);
}

void TTimetableEditForm::ShowCharacteristics(std::int32_t accel, std::int32_t speed,
                                             std::int32_t length, bool freight,
                                             std::int32_t power) {
    AccelBrakeBox->setCurrentIndex(std::clamp(accel, 0, 4));
    MaxSpeedEdit->setText(QString::number(speed));
    LengthEdit->setText(QString::number(length));
    FreightBox->setChecked(freight);
    ShowPower(PowerBoxes, power);
}

void TTimetableEditForm::Load(TTimetable& copy) {
    copy_ = &copy;
    loading_ = true;
    std::vector<const TENT*> entries;
    sim_.EntryPoints.ForEach([&](TENT& e) { entries.push_back(&e); });
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TENT* a, const TENT* b) { return a->Name < b->Name; });
    EntryPointBox->clear();
    EntryPointBox->addItem("(None)");
    for (const TENT* e : entries) EntryPointBox->addItem(Q(e->Name));
    std::vector<const TTrainCategory*> categories;
    sim_.Categories.ForEach([&](TTrainCategory& c) { categories.push_back(&c); });
    std::stable_sort(categories.begin(), categories.end(),
                     [](const TTrainCategory* a, const TTrainCategory* b) {
                         return a->Description < b->Description;
                     });
    CategoryBox->clear();
    CategoryBox->addItem("(Custom)");
    for (const TTrainCategory* c : categories) CategoryBox->addItem(Q(c->Description), Q(c->ID));

    HeadcodeEdit->setText(Q(copy.ID).toUpper());
    EntryPointBox->setCurrentIndex(
        copy.EntryPoint ? std::max(0, EntryPointBox->findText(Q(copy.EntryPoint->Name))) : 0);
    EntryTimeEdit->setText(Q(FormatHalfMinuteH(copy.EntryTime)));
    ShowCharacteristics(copy.AccelBrake, copy.MaxSpeed, copy.Length, copy.IsFreight,
                        copy.PowerTypes);
    DescriptionEdit->setText(Q(copy.Description));
    AsRequiredBox->setChecked(copy.AsRequired);
    PercentBox->setValue(copy.AsRequiredPercent);
    STPBox->setChecked(copy.STP);
    CategoryBox->setCurrentIndex(
        copy.Category ? std::max(0, CategoryBox->findData(Q(copy.Category->ID))) : 0);
    loading_ = false;
    FillTrips(copy.Trips.Empty() ? -1 : 0);
    Pages->setCurrentIndex(0);
    HeadcodeEdit->setFocus();
    UpdateCaption();
}

bool TTimetableEditForm::Edit(TTimetable& copy) {
    Load(copy);
    return exec() == QDialog::Accepted;
}

void TTimetableEditForm::UpdateCaption() {
    setWindowTitle("Timetable Editor: " + HeadcodeEdit->text());
}

void TTimetableEditForm::CategoryChosen(int row) {
    if (!copy_) return;
    const TTrainCategory* before = copy_->Category;
    if (row <= 0) {
        copy_->Category = nullptr;
        return;
    }
    TTrainCategory* chosen =
        sim_.Categories.FindID(CategoryBox->itemData(row).toString().toStdString());
    if (!chosen) return;
    copy_->Category = chosen;
    loading_ = true;
    ShowCharacteristics(chosen->AccelBrake, chosen->MaxSpeed, chosen->Length, chosen->IsFreight,
                        chosen->PowerTypes);
    const std::string description = DescriptionEdit->text().toStdString();
    if (description.empty() || (before && description == before->Description))
        DescriptionEdit->setText(Q(chosen->Description));
    loading_ = false;
}

void TTimetableEditForm::CustomChanged() {
    if (loading_ || !copy_) return;
    copy_->Category = nullptr;
    CategoryBox->setCurrentIndex(0);
}

void TTimetableEditForm::FillTrips(int select) {
    TripList->clear();
    if (!copy_) return;
    for (const TTimetableTrip& trip : copy_->Trips.Items) TripList->addItem(Q(TripRow(trip)));
    if (select >= TripList->count()) select = TripList->count() - 1;
    TripList->setCurrentRow(select);
    UpdateTripButtons();
}

void TTimetableEditForm::UpdateTripButtons() {
    const int row = TripList->currentRow();
    const bool selected = row >= 0 && row < TripList->count();
    AddAboveButton->setEnabled(selected);
    EditButton->setEnabled(selected);
    DeleteButton->setEnabled(selected);
    MoveUpButton->setEnabled(selected && row > 0);
    MoveDownButton->setEnabled(selected && row < TripList->count() - 1);
    AddBelowButton->setEnabled(true);
    ClearAutoinsertButton->setEnabled(true);
}

void TTimetableEditForm::NextAfter(int row) {
    if (!copy_) return;
    if (row + 1 >= copy_->Trips.Count()) {
        AddBelow();
        return;
    }
    TripList->setCurrentRow(row + 1);
    EditTrip();
}

void TTimetableEditForm::EditTrip() {
    const int row = TripList->currentRow();
    if (!copy_ || row < 0 || row >= copy_->Trips.Count()) return;
    TTimetableTrip trip = copy_->Trips.Items[static_cast<std::size_t>(row)];
    trip.Activities = trip.Activities.Duplicate();
    const TripEditResult result = tripForm_->Edit(trip);
    if (result != TripEditResult::Cancel)
        copy_->Trips.Items[static_cast<std::size_t>(row)] = std::move(trip);
    FillTrips(row);
    if (result == TripEditResult::Next) NextAfter(row);
}

void TTimetableEditForm::AddBelow() {
    if (!copy_) return;
    TTimetableTrip trip;
    const TripEditResult result = tripForm_->Edit(trip);
    if (result == TripEditResult::Cancel) return FillTrips(TripList->currentRow());
    const int selected = TripList->currentRow();
    const int at = selected < 0 || copy_->Trips.Empty() ? 0 : selected + 1;
    copy_->Trips.Items.insert(copy_->Trips.Items.begin() + std::min(at, copy_->Trips.Count()),
                              std::move(trip));
    FillTrips(at);
    if (result == TripEditResult::Next) NextAfter(at);
}

void TTimetableEditForm::AddAbove() {
    const int row = TripList->currentRow();
    if (!copy_ || row < 0 || row >= copy_->Trips.Count()) return;
    TTimetableTrip trip;
    // Only Ok inserts here: a Next from a line added above goes no further.
    if (tripForm_->Edit(trip) != TripEditResult::Ok) return FillTrips(row);
    copy_->Trips.Items.insert(copy_->Trips.Items.begin() + row, std::move(trip));
    FillTrips(row);
}

void TTimetableEditForm::MoveUp() {
    const int row = TripList->currentRow();
    if (!copy_ || row <= 0 || row >= copy_->Trips.Count()) return;
    std::swap(copy_->Trips.Items[static_cast<std::size_t>(row)],
              copy_->Trips.Items[static_cast<std::size_t>(row - 1)]);
    FillTrips(row - 1);
}

void TTimetableEditForm::MoveDown() {
    const int row = TripList->currentRow();
    if (!copy_ || row < 0 || row + 1 >= copy_->Trips.Count()) return;
    std::swap(copy_->Trips.Items[static_cast<std::size_t>(row)],
              copy_->Trips.Items[static_cast<std::size_t>(row + 1)]);
    FillTrips(row + 1);
}

void TTimetableEditForm::DeleteTrip() {
    const int row = TripList->currentRow();
    if (!copy_ || row < 0 || row >= copy_->Trips.Count()) return;
    copy_->Trips.Items.erase(copy_->Trips.Items.begin() + row);
    FillTrips(row);
}

void TTimetableEditForm::ClearAutoinsert() {
    if (!copy_) return;
    std::erase_if(copy_->Trips.Items, [](const TTimetableTrip& t) { return t.AutoInserted; });
    FillTrips(TripList->currentRow());
}

void TTimetableEditForm::StoreBoxes() {
    if (!copy_) return;
    TTimetable& t = *copy_;
    t.ID = HeadcodeEdit->text().toUpper().toStdString();
    const int entry = EntryPointBox->currentIndex();
    t.EntryPoint = nullptr;
    if (entry > 0) {
        const std::string name = EntryPointBox->itemText(entry).toStdString();
        sim_.EntryPoints.ForEach([&](TENT& e) {
            if (!t.EntryPoint && e.Name == name) t.EntryPoint = &e;
        });
    }
    t.EntryTime = ParseHalfMinute(TimeBoxText(EntryTimeEdit));
    t.Length = ParseNumber(LengthEdit->text().toStdString());
    t.MaxSpeed = ParseNumber(MaxSpeedEdit->text().toStdString());
    t.AccelBrake = AccelBrakeBox->currentIndex();
    t.Description = DescriptionEdit->text().toStdString();
    t.IsFreight = FreightBox->isChecked();
    t.PowerTypes = PowerFrom(PowerBoxes);
    t.AsRequired = AsRequiredBox->isChecked();
    t.AsRequiredPercent = PercentBox->value();
    t.STP = STPBox->isChecked();
    TimetableDefaults& remembered = sim_.Timetable.EditorDefaults;
    remembered.MaxSpeed = t.MaxSpeed;
    remembered.Length = t.Length;
    remembered.AccelBrake = t.AccelBrake;
    remembered.PowerTypes = t.PowerTypes;
}

void TTimetableEditForm::done(int result) {
    if (copy_) {
        if (result == QDialog::Accepted) StoreBoxes();
        std::string message;
        if (!Validate(*copy_, message)) {
            // Which train, what is wrong and what to do about it.
            const std::string advice = ValidationAdvice(message);
            std::string text = "Train " + copy_->ID + ": " + message;
            if (!advice.empty()) text += "\nWhat to do: " + advice;
            if (AskOkCancel(this, Q(ValidationFailedText(text)))) {
                // Validation may have inserted timing points.
                FillTrips(TripList->currentRow());
                return;
            }
        }
    }
    QDialog::done(result);
}

// --- the analysis window

TTTAnalyseForm::TTTAnalyseForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setWindowTitle("Timetable Analysis");
    setModal(true);
    TextArea = new QPlainTextEdit;
    TextArea->setReadOnly(true);
    TextArea->setFont(Fixed());
    TextArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TextArea->setLineWrapMode(QPlainTextEdit::NoWrap);
    CloseButton = Button("&Close");
    CloseButton->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TextArea);
    layout->addLayout(ButtonRow({CloseButton}));
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    resize(640, 420);
}

void TTTAnalyseForm::Analyse(const std::string& path) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TextArea->clear();
    const TimetableAnalysis analysis = AnalyseTimetable(sim_);
    QStringList lines;
    for (const std::string& p : analysis.Problems) lines << Q(p);
    TextArea->setPlainText(lines.join('\n'));
    const bool written = WriteAnalysisReport(path, analysis.Report);
    QApplication::restoreOverrideCursor();
    if (!written) sim_.Dialog().ShowError("Error writing " + path);
}

// --- the timetable list window

TTimetableListForm::TTimetableListForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setWindowTitle("Timetable List");
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(false);
    auto label = [](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    NoteLabel = new QLabel("NOTE: Timetable changes do not affect trains already in the area");
    Pages = new QTabWidget;

    auto* info = new QWidget;
    auto* ig = new QGridLayout(info);
    NameEdit = new QLineEdit;
    NameEdit->setToolTip("Name of the timetable");
    NameEdit->installEventFilter(this);
    DescriptionEdit = new QTextEdit;
    DescriptionEdit->setAcceptRichText(false);
    DescriptionEdit->setToolTip("Free-text description of the timetable");
    StartTimeEdit = new QLineEdit;
    StartTimeEdit->setInputMask("99:99");
    StartTimeEdit->setToolTip("Default timetable start time");
    FinishTimeEdit = new QLineEdit;
    FinishTimeEdit->setInputMask("99:99");
    FinishTimeEdit->setToolTip("Default timetable end time");
    ig->addWidget(label("Timetable &Name", NameEdit), 0, 0);
    ig->addWidget(NameEdit, 0, 1, 1, 3);
    ig->addWidget(label("Timetable &Description", DescriptionEdit), 1, 0);
    ig->addWidget(DescriptionEdit, 1, 1, 1, 3);
    ig->addWidget(label("&Start Time", StartTimeEdit), 2, 0);
    ig->addWidget(StartTimeEdit, 2, 1);
    ig->addWidget(label("&Finish Time", FinishTimeEdit), 2, 2);
    ig->addWidget(FinishTimeEdit, 2, 3);
    Pages->addTab(info, "Timetable &Information");

    auto* types = new QWidget;
    auto* tg = new QGridLayout(types);
    CategoryList = new QListWidget;
    EditCategoryButton = Button("&Edit");
    NewCategoryButton = Button("&New");
    DeleteCategoryButton = Button("&Delete");
    tg->addWidget(label("Train T&ypes", CategoryList), 0, 0);
    tg->addWidget(CategoryList, 1, 0, 4, 1);
    tg->addWidget(EditCategoryButton, 1, 1);
    tg->addWidget(NewCategoryButton, 2, 1);
    tg->addWidget(DeleteCategoryButton, 3, 1);
    Pages->addTab(types, "Train &Types");

    auto* trains = new QWidget;
    auto* rg = new QGridLayout(trains);
    TrainList = new QListWidget;
    TrainList->setFont(Fixed());
    TrainList->installEventFilter(this);
    EditTrainButton = Button("&Edit");
    NewTrainButton = Button("&New");
    DeleteTrainButton = Button("&Delete");
    DuplicateButton = Button("D&uplicate");
    RepeatButton = Button("Re&peat...", "Copies of this train at a fixed interval");
    ReturnButton =
        Button("Ret&urn working...", "The train that works back from where this one ends");
    auto* sort = new QGroupBox("&Sort By");
    auto* sg = new QVBoxLayout(sort);
    const std::array<const char*, 3> sorts{"&1 Identity", "&2 Departure/Entry Time",
                                           "&3 Entry Location"};
    auto* sortGroup = new QButtonGroup(this);
    for (std::size_t i = 0; i < SortButtons.size(); ++i) {
        SortButtons[i] = new QRadioButton(sorts[i]);
        sortGroup->addButton(SortButtons[i]);
        sg->addWidget(SortButtons[i]);
    }
    SortButtons[0]->setChecked(true);
    rg->addWidget(label("T&rains", TrainList), 0, 0);
    rg->addWidget(TrainList, 1, 0, 8, 1);
    rg->addWidget(EditTrainButton, 1, 1);
    rg->addWidget(NewTrainButton, 2, 1);
    rg->addWidget(DeleteTrainButton, 3, 1);
    rg->addWidget(DuplicateButton, 4, 1);
    rg->addWidget(RepeatButton, 5, 1);
    rg->addWidget(ReturnButton, 6, 1);
    rg->addWidget(sort, 7, 1);
    rg->setColumnStretch(0, 1);
    Pages->addTab(trains, "Train Ti&metables");

    auto* analyse = new QWidget;
    auto* av = new QVBoxLayout(analyse);
    auto* analyseGroup = new QGroupBox("&Analyse");
    auto* ag = new QVBoxLayout(analyseGroup);
    AnalyseText = new QLabel;
    AnalyseText->setWordWrap(true);
    AnalyseButton = Button("Analyse &Now");
    ag->addWidget(AnalyseText);
    ag->addWidget(AnalyseButton, 0, Qt::AlignRight);
    auto* printGroup = new QGroupBox("Print");
    auto* pg = new QVBoxLayout(printGroup);
    ExportText = new QLabel;
    ExportText->setWordWrap(true);
    ExportButton = Button("E&xport");
    pg->addWidget(ExportText);
    pg->addWidget(ExportButton, 0, Qt::AlignRight);
    av->addWidget(analyseGroup);
    av->addWidget(printGroup);
    Pages->addTab(analyse, "Analyse/Ex&port");

    OkButton = Button("&Ok");
    OkButton->setDefault(true);
    CancelButton = Button("&Cancel");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NoteLabel);
    layout->addWidget(Pages);
    layout->addLayout(ButtonRow({OkButton, CancelButton}));

    editForm_ = new TTimetableEditForm(sim_, this);
    categoryForm_ = new TTrainCategoryForm(sim_, this);
    analyseForm_ = new TTTAnalyseForm(sim_, this);

    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(TrainList, &QListWidget::currentRowChanged, this,
            &TTimetableListForm::UpdateTrainButtons);
    connect(TrainList, &QListWidget::itemDoubleClicked, this, &TTimetableListForm::EditTrain);
    connect(EditTrainButton, &QPushButton::clicked, this, &TTimetableListForm::EditTrain);
    connect(NewTrainButton, &QPushButton::clicked, this, &TTimetableListForm::NewTrain);
    connect(DeleteTrainButton, &QPushButton::clicked, this, &TTimetableListForm::DeleteTrain);
    connect(DuplicateButton, &QPushButton::clicked, this, &TTimetableListForm::DuplicateTrain);
    connect(RepeatButton, &QPushButton::clicked, this, &TTimetableListForm::RepeatTrain);
    connect(ReturnButton, &QPushButton::clicked, this, &TTimetableListForm::ReturnWorking);
    for (QRadioButton* b : SortButtons)
        connect(b, &QRadioButton::clicked, this, &TTimetableListForm::SortChosen);
    connect(CategoryList, &QListWidget::itemDoubleClicked, this, &TTimetableListForm::EditCategory);
    connect(EditCategoryButton, &QPushButton::clicked, this, &TTimetableListForm::EditCategory);
    connect(NewCategoryButton, &QPushButton::clicked, this, &TTimetableListForm::NewCategory);
    connect(DeleteCategoryButton, &QPushButton::clicked, this, &TTimetableListForm::DeleteCategory);
    connect(AnalyseButton, &QPushButton::clicked, this, &TTimetableListForm::AnalyseNow);
    connect(ExportButton, &QPushButton::clicked, this, &TTimetableListForm::Export);
    resize(600, 460);
}

std::string TTimetableListForm::ReportPath(const char* name) const {
    if (reportFolder_.empty()) return name;
    return (std::filesystem::path(reportFolder_) / name).string();
}

void TTimetableListForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) Refresh();
}

void TTimetableListForm::Refresh() {
    AnalyseText->setText(
        "This feature allows you to find potential problems with timetable data. Inbound "
        "services forming outbound services will be checked to ensure they arrive and depart "
        "on the same platform, that the lengths match, and various other checks.\n\nThe data "
        "will also be exported to a file called TT_Analysis.txt.");
    ExportText->setText(
        "This feature allows you to print the timetable to a file. It will be saved in CSV "
        "(comma-seperated values) format which can then be loaded into Excel, another "
        "spreadsheet program, or any other program that supports CSV.\n\nThe data will be saved "
        "in file TT_Export.txt.");
    SortChosen();
    FillCategories({});
    StartTimeEdit->setText(Q(FormatListTime(sim_.Timetable.StartTime)));
    FinishTimeEdit->setText(Q(FormatListTime(sim_.Timetable.FinishTime)));
    NameEdit->setText(Q(ListNameShown(sim_)));
    DescriptionEdit->setPlainText(Q(sim_.Timetable.Description));
}

void TTimetableListForm::SortChosen() {
    TrainSort sort = TrainSort::Identity;
    if (SortButtons[1]->isChecked()) sort = TrainSort::DepartureTime;
    if (SortButtons[2]->isChecked()) sort = TrainSort::EntryLocation;
    SortTimetables(sim_, sort);
    FillTrains(TrainList->currentRow());
}

void TTimetableListForm::FillTrains(int select) {
    TrainList->clear();
    sim_.Timetable.ForEach([&](TTimetable& t) { TrainList->addItem(Q(TrainListEntry(t))); });
    if (select >= TrainList->count()) select = TrainList->count() - 1;
    TrainList->setCurrentRow(select);
    UpdateTrainButtons();
}

void TTimetableListForm::FillCategories(const std::string& selectID) {
    std::vector<const TTrainCategory*> categories;
    sim_.Categories.ForEach([&](TTrainCategory& c) { categories.push_back(&c); });
    std::stable_sort(categories.begin(), categories.end(),
                     [](const TTrainCategory* a, const TTrainCategory* b) {
                         return a->Description < b->Description;
                     });
    CategoryList->clear();
    for (const TTrainCategory* c : categories) {
        auto* item = new QListWidgetItem(Q(c->Description));
        item->setData(Qt::UserRole, Q(c->ID));
        CategoryList->addItem(item);
        if (c->ID == selectID) CategoryList->setCurrentItem(item);
    }
}

void TTimetableListForm::UpdateTrainButtons() {
    const bool selected = SelectedTrain() >= 0;
    EditTrainButton->setEnabled(selected);
    DeleteTrainButton->setEnabled(selected);
    DuplicateButton->setEnabled(selected);
    RepeatButton->setEnabled(selected);
    ReturnButton->setEnabled(selected);
}

int TTimetableListForm::SelectedTrain() const {
    const int row = TrainList->currentRow();
    if (row < 0 || row >= sim_.Timetable.Count() || !TrainList->currentItem() ||
        !TrainList->currentItem()->isSelected())
        return -1;
    return row;
}

TTrainCategory* TTimetableListForm::SelectedCategory() const {
    const QListWidgetItem* item = CategoryList->currentItem();
    if (!item || !item->isSelected()) return nullptr;
    return sim_.Categories.FindID(item->data(Qt::UserRole).toString().toStdString());
}

void TTimetableListForm::EditTrain() {
    const int row = SelectedTrain();
    if (row < 0) return;
    std::unique_ptr<TTimetable> copy = CopyTimetable(sim_, *sim_.Timetable.At(row));
    if (editForm_->Edit(*copy)) {
        // The window stayed open while the editor ran: the list may have changed.
        const int at = row < sim_.Timetable.Count() ? row : sim_.Timetable.Count();
        ReplaceTimetable(sim_, at, std::move(copy));
        FillTrains(at);
    }
}

void TTimetableListForm::NewTrain() {
    auto fresh = std::make_unique<TTimetable>(sim_, std::string());
    if (editForm_->Edit(*fresh)) {
        AppendTimetable(sim_, std::move(fresh));
        FillTrains(sim_.Timetable.Count() - 1);
    }
}

void TTimetableListForm::DeleteTrain() {
    const int row = SelectedTrain();
    if (row < 0) return;
    if (!sim_.Dialog().Confirm("Delete " + sim_.Timetable.At(row)->ID + "?")) return;
    FillTrains(RemoveTimetable(sim_, row));
}

void TTimetableListForm::DuplicateTrain() {
    const int row = SelectedTrain();
    if (row < 0) return;
    const TTimetable& original = *sim_.Timetable.At(row);
    const auto name =
        sim_.Dialog().InputBox("Copy Train - Step 1 of 2", "Enter new train's name:", original.ID);
    if (!name) return;
    const auto minutes = sim_.Dialog().InputBox(
        "Copy Train - Step 2 of 2", "Enter time difference (in minutes) of new service:", "0");
    if (!minutes) return;
    std::string message;
    if (!DuplicateTimetable(sim_, *sim_.Timetable.At(row), *name, *minutes, message)) {
        sim_.Dialog().ShowError(message);
        return;
    }
    sim_.Timetable.Modified = true;
    FillTrains(sim_.Timetable.Count() - 1);
}

void TTimetableListForm::RepeatTrain() {
    const int row = SelectedTrain();
    if (row < 0) return;
    const TTimetable& original = *sim_.Timetable.At(row);
    const auto count = sim_.Dialog().InputBox("Repeat Train - Step 1 of 2",
                                              "How many copies of " + original.ID + "?", "1");
    if (!count) return;
    const auto interval = sim_.Dialog().InputBox("Repeat Train - Step 2 of 2",
                                                 "Minutes between one train and the next:", "30");
    if (!interval) return;
    const std::int32_t n = ParseNumber(*count);
    const std::int32_t minutes = ParseNumber(*interval);
    if (n < 0 || minutes < 0) {
        sim_.Dialog().ShowError(InvalidNumericInputText);
        return;
    }
    std::vector<std::unique_ptr<TTimetable>> copies;
    std::string error;
    if (!kestra::RepeatTrain(sim_, original, n, minutes, copies, error)) {
        sim_.Dialog().ShowError("Cannot repeat " + original.ID + ": " + error);
        return;
    }
    for (auto& copy : copies) AppendTimetable(sim_, std::move(copy));
    FillTrains(sim_.Timetable.Count() - 1);
}

void TTimetableListForm::ReturnWorking() {
    const int row = SelectedTrain();
    if (row < 0) return;
    TTimetable& original = *sim_.Timetable.At(row);
    const auto headcode =
        sim_.Dialog().InputBox("Return Working - Step 1 of 3",
                               "Enter the return train's name:", NumberedHeadcode(original.ID, 1));
    if (!headcode) return;
    const auto turnround = sim_.Dialog().InputBox(
        "Return Working - Step 2 of 3", "Minutes between arriving and leaving again:", "10");
    if (!turnround) return;
    // Only a return that enters from the edge needs it, and only where several entry
    // points lead to its first station.
    const auto entryText = sim_.Dialog().InputBox(
        "Return Working - Step 3 of 3",
        "Entry point of the return, if it enters the area (empty: the one that fits):", "");
    if (!entryText) return;
    TENT* entry = nullptr;
    const std::string wanted = Q(*entryText).trimmed().toUpper().toStdString();
    if (!wanted.empty()) {
        std::string known;
        sim_.EntryPoints.ForEach([&](TENT& e) {
            if (!entry && (AsciiUpper(e.ID) == wanted || AsciiUpper(e.Name) == wanted)) entry = &e;
            known += (known.empty() ? "" : ", ") + e.ID;
        });
        if (!entry) {
            sim_.Dialog().ShowError("There is no entry point " + *entryText +
                                    ": the entry points are " + known);
            return;
        }
    }
    const std::int32_t minutes = ParseNumber(*turnround);
    if (minutes < 0) {
        sim_.Dialog().ShowError(InvalidNumericInputText);
        return;
    }
    std::string error;
    const QString upper = Q(*headcode).toUpper();
    if (!IsHeadcode(upper)) {
        sim_.Dialog().ShowError("A train's name is four letters or digits, such as 2T11");
        return;
    }
    std::unique_ptr<TTimetable> back =
        MakeReturnWorking(sim_, original, upper.toStdString(), minutes, entry, error);
    if (!back) {
        sim_.Dialog().ShowError("Cannot make the return working of " + original.ID + ": " + error);
        return;
    }
    AppendTimetable(sim_, std::move(back));
    FillTrains(sim_.Timetable.Count() - 1);
}

void TTimetableListForm::FindTrain(const QString& first) {
    const auto answer = sim_.Dialog().InputBox("Find train", "Train:", first.toStdString());
    if (!answer) return;
    std::vector<std::string> entries;
    for (int i = 0; i < TrainList->count(); ++i)
        entries.push_back(TrainList->item(i)->text().toStdString());
    const int found = FindTrainEntry(entries, *answer);
    if (found >= 0) TrainList->setCurrentRow(found);
}

void TTimetableListForm::EditCategory() {
    TTrainCategory* category = SelectedCategory();
    if (!category) return;
    TTrainCategory copy(category->ID);
    copy.CopyFields(*category);
    if (categoryForm_->Edit(copy)) {
        category->CopyFields(copy);
        ApplyCategory(sim_, *category);
        FillCategories(category->ID);
        FillTrains(TrainList->currentRow());
    }
}

void TTimetableListForm::NewCategory() {
    std::unique_ptr<TTrainCategory> fresh = kestra::NewCategory(sim_);
    if (categoryForm_->Edit(*fresh)) {
        const std::string id = fresh->ID;
        sim_.Categories.Adopt(std::move(fresh));
        sim_.Timetable.Modified = true;
        FillCategories(id);
    }
}

void TTimetableListForm::DeleteCategory() {
    TTrainCategory* category = SelectedCategory();
    if (!category) return;
    if (!sim_.Dialog().Confirm("Deleting a train category will clear the Category field of all "
                               "affected train timetables. Continue?"))
        return;
    kestra::DeleteCategory(sim_, *category);
    sim_.Timetable.Modified = true;
    FillCategories({});
}

void TTimetableListForm::AnalyseNow() {
    analyseForm_->Analyse(ReportPath(AnalysisFileName));
    analyseForm_->exec();
    FillTrains(TrainList->currentRow());
}

void TTimetableListForm::Export() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ExportTimetable(sim_, ReportPath(ExportFileName));
    QApplication::restoreOverrideCursor();
}

void TTimetableListForm::done(int result) {
    std::int32_t start = 0, finish = 0;
    if (!ReadListTime(StartTimeEdit->text().toStdString(), start)) return;
    sim_.Timetable.StartTime = start;
    if (!ReadListTime(FinishTimeEdit->text().toStdString(), finish)) return;
    sim_.Timetable.FinishTime = finish;
    sim_.Timetable.Name = NameEdit->text().toStdString();
    sim_.Timetable.Description = DescriptionEdit->toPlainText().toStdString();
    if (result == QDialog::Accepted) sim_.Timetable.Modified = true;
    QDialog::done(result);
}

void TTimetableListForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_I &&
        event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
        ImportTrains();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TTimetableListForm::ImportTrains() {
    const auto name = sim_.Dialog().InputBox("Import Timetable", "Enter name", "");
    if (!name) return;
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(*name, bytes)) {
        sim_.Dialog().ShowError("Cannot open " + *name);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ImportOutsideTimetable(sim_, std::string(bytes.begin(), bytes.end()),
                           [this](const std::string& text) {
                               QApplication::restoreOverrideCursor();
                               const bool goOn = AskOkCancel(this, Q(text));
                               QApplication::setOverrideCursor(Qt::WaitCursor);
                               return goOn;
                           });
    QApplication::restoreOverrideCursor();
    FillTrains(TrainList->currentRow());
}

bool TTimetableListForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == NameEdit) {
            // The name proposes the file name when the timetable is saved.
            const QString text = key->text();
            if (text.size() == 1 && QString("\"*/:<>?\\|").contains(text[0])) {
                QApplication::beep();
                return true;
            }
        } else if (watched == TrainList) {
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                SelectedTrain() >= 0) {
                EditTrain();
                return true;
            }
            const QString text = key->text();
            if (text.size() == 1 && text[0].unicode() >= 32 &&
                !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
                FindTrain(text);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kestra::app
