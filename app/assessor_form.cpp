#include "assessor_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "interlocking/level_crossing.h"
#include "interlocking/points.h"
#include "interlocking/signal.h"
#include "interlocking/speed_restriction.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "places/location.h"
#include "trains/train.h"

namespace kestra::app {

namespace {

// A whole number typed in a field, or false.
bool WholeNumber(const QLineEdit* edit, std::int32_t& value) {
    bool ok = false;
    const int v = edit->text().trimmed().toInt(&ok);
    if (!ok) return false;
    value = v;
    return true;
}

// A subroute as the editor lists it: its circuit's ID, "-" and its own ID, the first
// character replaced by "U".
QString SubrouteName(const TULC& s) {
    QString name =
        QString::fromStdString((s.TrackCircuit ? s.TrackCircuit->ID : std::string()) + "-" + s.ID);
    if (!name.isEmpty()) name[0] = 'U';
    return name;
}

// A list page: the list on the left, the detail group on the right.
QWidget* ListPage(QListWidget*& list, const char* listName, QGroupBox*& details,
                  const char* detailsName, QLayout* detailLayout) {
    auto* page = new QWidget;
    auto* row = new QHBoxLayout(page);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(listName));
    list = new QListWidget;
    left->addWidget(list);
    row->addLayout(left);
    details = new QGroupBox(detailsName);
    details->setLayout(detailLayout);
    details->setEnabled(false);
    row->addWidget(details);
    return page;
}

// The list position kept in an entry, or -1.
int SelectedIndex(const QListWidget* list) {
    const QListWidgetItem* item = list ? list->currentItem() : nullptr;
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

template <class List>
void FillList(QListWidget* list, const List& objects, auto&& text) {
    const int keep = SelectedIndex(list);
    list->clear();
    for (int i = 0; i < objects.Count(); ++i) {
        const auto* o = objects.At(i);
        if (!o) continue;
        auto* item = new QListWidgetItem(text(*o));
        item->setData(Qt::UserRole, i);
        list->addItem(item);
        if (i == keep) list->setCurrentItem(item);
    }
}

}  // namespace

// ---------------------------------------------------------------- SPAD dialog

TACPSPADForm::TACPSPADForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setWindowTitle("Pass next signal irrespective of aspect");
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox("After passing signal, train will:");
    auto* g = new QVBoxLayout(group);
    KeepGoingRadio = new QRadioButton("Keep going");
    StopAtDistanceRadio = new QRadioButton("Stop and report to signalbox");
    StopNextSignalRadio = new QRadioButton("Stop at next signal and report to signalbox");
    KeepGoingRadio->setChecked(true);
    g->addWidget(KeepGoingRadio);
    g->addWidget(StopAtDistanceRadio);
    auto* overrunRow = new QHBoxLayout;
    overrunRow->addWidget(new QLabel("Overrun (metres)"));
    OverrunEdit = new QLineEdit("100");
    OverrunEdit->setEnabled(false);
    overrunRow->addWidget(OverrunEdit);
    g->addLayout(overrunRow);
    g->addWidget(StopNextSignalRadio);
    layout->addWidget(group);
    connect(StopAtDistanceRadio, &QRadioButton::toggled, OverrunEdit, &QLineEdit::setEnabled);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { OkClicked(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

SPADChoice TACPSPADForm::Choice() const {
    if (StopAtDistanceRadio->isChecked()) return SPADChoice::StopAtDistance;
    if (StopNextSignalRadio->isChecked()) return SPADChoice::StopNextSignal;
    return SPADChoice::KeepGoing;
}

std::int32_t TACPSPADForm::Overrun() const {
    std::int32_t v = 0;
    return WholeNumber(OverrunEdit, v) ? v : 0;
}

bool TACPSPADForm::OkClicked() {
    std::int32_t v = 0;
    if (!WholeNumber(OverrunEdit, v) || v < 1 || v > 9999) {
        sim_.Dialog().ShowError("Invalid overrun value");
        return false;
    }
    accept();
    return true;
}

// ---------------------------------------------------------------- TSR editor

TTSREditForm::TTSREditForm(Sim& sim, const TSRDraft& draft, QWidget* parent)
    : QDialog(parent), sim_(sim), draft_(draft) {
    setWindowTitle("Edit Temporary Speed Restriction");
    auto* layout = new QVBoxLayout(this);
    auto* place = new QGroupBox("Place TSR on...");
    auto* form = new QFormLayout(place);
    CircuitRadio = new QRadioButton("Whole track circuit:");
    SubrouteRadio = new QRadioButton("Individual subroute:");
    CircuitCombo = new QComboBox;
    SubrouteCombo = new QComboBox;
    // Sorted by the names shown; each entry keeps its list position.
    std::vector<std::pair<QString, int>> circuits, subroutes;
    for (int i = 0; i < sim.TrackCircuits.Count(); ++i)
        if (const TTCS* c = sim.TrackCircuits.At(i))
            circuits.push_back({QString::fromStdString(c->ID), i});
    for (int i = 0; i < sim.Subroutes.Count(); ++i)
        if (const TULC* s = sim.Subroutes.At(i)) subroutes.push_back({SubrouteName(*s), i});
    std::sort(circuits.begin(), circuits.end());
    std::sort(subroutes.begin(), subroutes.end());
    for (const auto& [name, i] : circuits) CircuitCombo->addItem(name, i);
    for (const auto& [name, i] : subroutes) SubrouteCombo->addItem(name, i);
    form->addRow(CircuitRadio, CircuitCombo);
    form->addRow(SubrouteRadio, SubrouteCombo);
    layout->addWidget(place);
    auto* fields = new QFormLayout;
    IdentityEdit = new QLineEdit(QString::fromStdString(draft.Identity));
    FreightEdit = new QLineEdit(QString::number(draft.FreightMph));
    PassengerEdit = new QLineEdit(QString::number(draft.PassengerMph));
    FromEdit = new QLineEdit(QString::number(draft.FromPosition));
    ToEdit = new QLineEdit(QString::number(draft.ToPosition));
    fields->addRow("Identity", IdentityEdit);
    fields->addRow("Freight speed (mph)", FreightEdit);
    fields->addRow("Passenger speed (mph)", PassengerEdit);
    fields->addRow("From position (m)", FromEdit);
    fields->addRow("To position (m)", ToEdit);
    layout->addLayout(fields);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { OkClicked(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // The owner's kind and the owner selected (a whole circuit when there is none).
    const auto* ownerSubroute = dynamic_cast<const TULC*>(draft.Owner);
    const auto* ownerCircuit = dynamic_cast<const TTCS*>(draft.Owner);
    SubrouteRadio->setChecked(ownerSubroute != nullptr);
    CircuitRadio->setChecked(ownerSubroute == nullptr);
    if (ownerCircuit)
        CircuitCombo->setCurrentIndex(
            CircuitCombo->findData(sim.TrackCircuits.IndexOf(ownerCircuit)));
    else
        CircuitCombo->setCurrentIndex(-1);
    if (ownerSubroute)
        SubrouteCombo->setCurrentIndex(
            SubrouteCombo->findData(sim.Subroutes.IndexOf(ownerSubroute)));
    else
        SubrouteCombo->setCurrentIndex(-1);
    proposed_ = IdentityEdit->text();
    FromEdit->setEnabled(ownerSubroute != nullptr);
    ToEdit->setEnabled(ownerSubroute != nullptr);
    auto chosen = [this] { OwnerChosen(); };
    connect(CircuitCombo, &QComboBox::activated, this, [this, chosen] {
        CircuitRadio->setChecked(true);
        chosen();
    });
    connect(SubrouteCombo, &QComboBox::activated, this, [this, chosen] {
        SubrouteRadio->setChecked(true);
        chosen();
    });
    connect(CircuitRadio, &QRadioButton::clicked, this, chosen);
    connect(SubrouteRadio, &QRadioButton::clicked, this, chosen);
}

void TTSREditForm::OwnerChosen() {
    const bool subroute = SubrouteRadio->isChecked();
    FromEdit->setEnabled(subroute);
    ToEdit->setEnabled(subroute);
    QString name;
    if (subroute) {
        const TULC* s = sim_.Subroutes.At(SubrouteCombo->currentData().toInt());
        if (!s || SubrouteCombo->currentIndex() < 0) return;
        name = SubrouteName(*s);
        FreightEdit->setText(QString::number(MetresPerSecondToMph(s->FreightSpeed)));
        PassengerEdit->setText(QString::number(MetresPerSecondToMph(s->PassengerSpeed)));
        FromEdit->setText("0");
        ToEdit->setText(QString::number(s->Length));
    } else {
        const TTCS* c = sim_.TrackCircuits.At(CircuitCombo->currentData().toInt());
        if (!c || CircuitCombo->currentIndex() < 0) return;
        name = QString::fromStdString(c->ID);
    }
    // The identity follows the owner unless the signaller typed one of his own.
    if (IdentityEdit->text() == proposed_ || IdentityEdit->text().isEmpty())
        IdentityEdit->setText(name);
    proposed_ = name;
}

bool TTSREditForm::OkClicked() {
    TSRDraft d;
    d.Identity = IdentityEdit->text().trimmed().toStdString();
    if (SubrouteRadio->isChecked() && SubrouteCombo->currentIndex() >= 0)
        d.Owner = sim_.Subroutes.At(SubrouteCombo->currentData().toInt());
    else if (CircuitRadio->isChecked() && CircuitCombo->currentIndex() >= 0)
        d.Owner = sim_.TrackCircuits.At(CircuitCombo->currentData().toInt());
    std::string fault;
    if (d.Identity.empty()) {
        fault = "An identity must be entered";
    } else if (!d.Owner) {
        fault = "A track circuit or subroute must be selected";
    } else if (!WholeNumber(FreightEdit, d.FreightMph) ||
               !WholeNumber(PassengerEdit, d.PassengerMph) ||
               !WholeNumber(FromEdit, d.FromPosition) || !WholeNumber(ToEdit, d.ToPosition)) {
        fault = "Invalid number";
    } else {
        fault = TAssessor::CheckDraft(d);
    }
    if (!fault.empty()) {
        sim_.Dialog().ShowError(fault);
        return false;
    }
    draft_ = d;
    accept();
    return true;
}

// ---------------------------------------------------------------- the panel

TACPForm::TACPForm(Sim& sim, TAssessor& assessor, QWidget* parent)
    : QDialog(parent), sim_(sim), assessor_(assessor) {
    setWindowTitle("Assessor Control Panel");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    Pages = new QTabWidget;
    // Every page's tab in view at once: the window is as wide as the tabs need.
    Pages->tabBar()->setUsesScrollButtons(false);
    layout->addWidget(Pages);

    // General
    {
        auto* page = new QWidget;
        auto* v = new QVBoxLayout(page);
        TakeControlCheck = new QCheckBox("Take control of simulation");
        v->addWidget(TakeControlCheck);
        v->addWidget(
            new QLabel("While checked, no equipment fails at random and drivers kept "
                       "at a red signal do not telephone."));
        v->addStretch();
        Pages->addTab(page, "General");
        connect(TakeControlCheck, &QCheckBox::clicked, this,
                [this](bool on) { assessor_.SetInControl(on); });
    }
    // Log
    {
        auto* page = new QWidget;
        auto* form = new QFormLayout(page);
        AssessorNameEdit = new QLineEdit;
        AssesseeNameEdit = new QLineEdit;
        CommentsEdit = new QPlainTextEdit;
        LogList = new QListWidget;
        SaveButton = new QPushButton("Save to file");
        form->addRow("Name of assessor", AssessorNameEdit);
        form->addRow("Name of person being assessed", AssesseeNameEdit);
        form->addRow("Comments", CommentsEdit);
        form->addRow("Actions", LogList);
        form->addRow(SaveButton);
        Pages->addTab(page, "Log");
        connect(SaveButton, &QPushButton::clicked, this, &TACPForm::SaveClicked);
    }
    // Points
    {
        auto* v = new QVBoxLayout;
        NormalDetectionCheck = new QCheckBox("Normal detection available");
        ReverseDetectionCheck = new QCheckBox("Reverse detection available");
        v->addWidget(NormalDetectionCheck);
        v->addWidget(ReverseDetectionCheck);
        v->addStretch();
        Pages->addTab(ListPage(PointsList, "Points List", PointDetails, "Point Details", v),
                      "Points");
        connect(NormalDetectionCheck, &QCheckBox::clicked, this, &TACPForm::NormalDetectionClicked);
        connect(ReverseDetectionCheck, &QCheckBox::clicked, this,
                &TACPForm::ReverseDetectionClicked);
    }
    // Power failures
    {
        auto* v = new QVBoxLayout;
        FailAllButton = new QPushButton("Fail all SSI objects in area");
        FixAllButton = new QPushButton("Fix all SSI objects in area");
        v->addWidget(FailAllButton);
        v->addWidget(FixAllButton);
        v->addStretch();
        Pages->addTab(
            ListPage(LocationList, "Location List", PowerOptions, "Power Failure Options", v),
            "Power Failures");
        connect(FailAllButton, &QPushButton::clicked, this, &TACPForm::FailAllClicked);
        connect(FixAllButton, &QPushButton::clicked, this, &TACPForm::FixAllClicked);
    }
    // Signals
    {
        auto* v = new QVBoxLayout;
        LampProvingCheck = new QCheckBox("Lamp Proving");
        v->addWidget(LampProvingCheck);
        v->addStretch();
        Pages->addTab(ListPage(SignalList, "Signal List", SignalDetails, "Signal Details", v),
                      "Signals");
        connect(LampProvingCheck, &QCheckBox::clicked, this, &TACPForm::LampProvingClicked);
    }
    // Track circuits
    {
        auto* v = new QVBoxLayout;
        v->addWidget(new QLabel("Isolations"));
        IsolationsCombo = new QComboBox;
        IsolationsCombo->addItems({"None", "ENG", "TI", "ENG and TI", "ENG and BET", "BET"});
        v->addWidget(IsolationsCombo);
        OccupancyLabel = new QLabel("Occupancy count:");
        v->addWidget(OccupancyLabel);
        OccupyButton = new QPushButton("Occupy");
        UnoccupyButton = new QPushButton("Unoccupy");
        v->addWidget(OccupyButton);
        v->addWidget(UnoccupyButton);
        v->addStretch();
        Pages->addTab(
            ListPage(CircuitList, "Track Circuit List", CircuitDetails, "Track Circuit Details", v),
            "Track Circuits");
        connect(IsolationsCombo, &QComboBox::activated, this, &TACPForm::IsolationChanged);
        connect(OccupyButton, &QPushButton::clicked, this, &TACPForm::OccupyClicked);
        connect(UnoccupyButton, &QPushButton::clicked, this, &TACPForm::UnoccupyClicked);
    }
    // Trains
    {
        auto* v = new QVBoxLayout;
        PassSignalButton = new QPushButton("Pass next signal irrespective of aspect...");
        PauseTrainCheck = new QCheckBox("Pause train");
        v->addWidget(PassSignalButton);
        v->addWidget(PauseTrainCheck);
        v->addStretch();
        Pages->addTab(ListPage(TrainList, "Train List", TrainDetails, "Train Details", v),
                      "Trains");
        connect(PassSignalButton, &QPushButton::clicked, this, &TACPForm::PassSignalClicked);
        connect(PauseTrainCheck, &QCheckBox::clicked, this, &TACPForm::PauseTrainClicked);
    }
    // TSRs
    {
        auto* page = new QWidget;
        auto* row = new QHBoxLayout(page);
        auto* left = new QVBoxLayout;
        left->addWidget(new QLabel("TSR List"));
        TSRList = new QListWidget;
        left->addWidget(TSRList);
        row->addLayout(left);
        auto* buttons = new QVBoxLayout;
        AddTSRButton = new QPushButton("Add...");
        EditTSRButton = new QPushButton("Edit...");
        DeleteTSRButton = new QPushButton("Delete");
        buttons->addWidget(AddTSRButton);
        buttons->addWidget(EditTSRButton);
        buttons->addWidget(DeleteTSRButton);
        buttons->addStretch();
        row->addLayout(buttons);
        Pages->addTab(page, "TSRs");
        connect(AddTSRButton, &QPushButton::clicked, this, &TACPForm::AddTSRClicked);
        connect(EditTSRButton, &QPushButton::clicked, this, &TACPForm::EditTSRClicked);
        connect(TSRList, &QListWidget::itemDoubleClicked, this, &TACPForm::EditTSRClicked);
        connect(DeleteTSRButton, &QPushButton::clicked, this, &TACPForm::DeleteTSRClicked);
    }
    // Level crossings
    {
        auto* v = new QVBoxLayout;
        CrossingStateLabel = new QLabel;
        BarriersWorkingCheck = new QCheckBox("Barriers working");
        v->addWidget(CrossingStateLabel);
        v->addWidget(BarriersWorkingCheck);
        v->addStretch();
        Pages->addTab(ListPage(CrossingList, "Level Crossing List", CrossingDetails,
                               "Level Crossing Details", v),
                      "Level Crossings");
        connect(BarriersWorkingCheck, &QCheckBox::clicked, this, &TACPForm::BarriersWorkingClicked);
    }

    for (QListWidget* list :
         {PointsList, LocationList, SignalList, CircuitList, TrainList, CrossingList})
        connect(list, &QListWidget::currentRowChanged, this, [this] { ShowSelection(); });
    trainTimer_.setInterval(1000);
    connect(&trainTimer_, &QTimer::timeout, this, [this] {
        if (isVisible()) {
            RefreshTrains();
            ShowSelection();
        }
    });
    trainTimer_.start();
    Refresh();
}

void TACPForm::showEvent(QShowEvent* event) {
    Refresh();
    QDialog::showEvent(event);
}

void TACPForm::Refresh() {
    TakeControlCheck->setChecked(assessor_.InControl());
    FillList(PointsList, sim_.Points, [](const TPTS& p) { return QString::fromStdString(p.ID); });
    FillList(LocationList, sim_.Locations,
             [](const TLOC& l) { return QString::fromStdString(l.Name); });
    FillList(SignalList, sim_.Signals, [](const TSIG& s) { return QString::fromStdString(s.ID); });
    FillList(CircuitList, sim_.TrackCircuits,
             [](const TTCS& c) { return QString::fromStdString(c.ID); });
    FillList(CrossingList, sim_.LevelCrossings,
             [](const TLevelCrossing& lx) { return QString::fromStdString(lx.Name); });
    RefreshTrains();
    RefreshTSRs();
    RefreshLog();
    ShowSelection();
}

void TACPForm::RefreshTrains() {
    // Trains enter and leave while the panel is open: the list is rebuilt only when the
    // trains differ from those listed, and the selection follows its train by
    // description, never by position (a train leaving ahead of it in the list must not
    // move the selection onto another train).
    QStringList ids;
    sim_.Trains.ForEach([&](const TTRN& t) { ids << QString::fromStdString(t.ID); });
    QStringList listed;
    for (int i = 0; i < TrainList->count(); ++i) listed << TrainList->item(i)->text();
    if (ids == listed) return;
    const QListWidgetItem* current = TrainList->currentItem();
    const QString selected = current ? current->text() : QString();
    const QSignalBlocker quiet(TrainList);
    TrainList->clear();
    QListWidgetItem* keep = nullptr;
    for (const QString& id : ids) {
        auto* item = new QListWidgetItem(id);
        TrainList->addItem(item);
        if (!selected.isEmpty() && id == selected) keep = item;
    }
    if (keep) TrainList->setCurrentItem(keep);
}

void TACPForm::RefreshTSRs() {
    TSRList->clear();
    for (TTSR* tsr : assessor_.TSRs()) {
        auto* item = new QListWidgetItem(QString::fromStdString(tsr->ID));
        item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(tsr)));
        TSRList->addItem(item);
    }
}

void TACPForm::RefreshLog() {
    LogList->clear();
    for (const std::string& line : assessor_.ActionLog())
        LogList->addItem(QString::fromStdString(line));
}

TPTS* TACPForm::SelectedPoints() const {
    return sim_.Points.At(SelectedIndex(PointsList));
}
TSIG* TACPForm::SelectedSignal() const {
    return sim_.Signals.At(SelectedIndex(SignalList));
}
TTCS* TACPForm::SelectedCircuit() const {
    return sim_.TrackCircuits.At(SelectedIndex(CircuitList));
}
TLOC* TACPForm::SelectedLocation() const {
    return sim_.Locations.At(SelectedIndex(LocationList));
}
TTRN* TACPForm::SelectedTrain() const {
    const QListWidgetItem* item = TrainList->currentItem();
    // Trains come and go: the entry names its train by description.
    return item ? sim_.Trains.FindID(item->text().toStdString()) : nullptr;
}
TLevelCrossing* TACPForm::SelectedCrossing() const {
    return sim_.LevelCrossings.At(SelectedIndex(CrossingList));
}
TTSR* TACPForm::SelectedTSR() const {
    const QListWidgetItem* item = TSRList->currentItem();
    if (!item) return nullptr;
    auto* wanted = static_cast<TTSR*>(item->data(Qt::UserRole).value<void*>());
    // Only one of the panel's restrictions still in place.
    for (TTSR* tsr : assessor_.TSRs())
        if (tsr == wanted) return tsr;
    return nullptr;
}

void TACPForm::ShowSelection() {
    const TPTS* p = SelectedPoints();
    PointDetails->setEnabled(p != nullptr);
    if (p) {
        NormalDetectionCheck->setChecked(!p->FailedNormal);
        ReverseDetectionCheck->setChecked(!p->FailedReverse);
    }
    PowerOptions->setEnabled(SelectedLocation() != nullptr);
    const TSIG* s = SelectedSignal();
    SignalDetails->setEnabled(s != nullptr);
    if (s) LampProvingCheck->setChecked(s->LampProved);
    const TTCS* c = SelectedCircuit();
    CircuitDetails->setEnabled(c != nullptr);
    if (c) {
        IsolationsCombo->setCurrentIndex(c->ISOType);
        OccupancyLabel->setText("Occupancy count: " + QString::number(c->OccupyCount));
    }
    const TTRN* t = SelectedTrain();
    TrainDetails->setEnabled(t != nullptr);
    if (t) PauseTrainCheck->setChecked(t->Paused);
    const TLevelCrossing* lx = SelectedCrossing();
    CrossingDetails->setEnabled(lx != nullptr);
    if (lx) {
        BarriersWorkingCheck->setChecked(!lx->BarrierFailed);
        CrossingStateLabel->setText(QString::fromUtf8(LevelCrossingStateName(lx->State)));
    }
}

void TACPForm::NormalDetectionClicked() {
    if (TPTS* p = SelectedPoints())
        assessor_.SetNormalDetection(*p, NormalDetectionCheck->isChecked());
    RefreshLog();
}

void TACPForm::ReverseDetectionClicked() {
    if (TPTS* p = SelectedPoints())
        assessor_.SetReverseDetection(*p, ReverseDetectionCheck->isChecked());
    RefreshLog();
}

void TACPForm::LampProvingClicked() {
    if (TSIG* s = SelectedSignal()) assessor_.SetLampProving(*s, LampProvingCheck->isChecked());
    RefreshLog();
}

void TACPForm::IsolationChanged(int index) {
    if (TTCS* c = SelectedCircuit(); c && index >= 0)
        assessor_.SetIsolation(*c, static_cast<std::uint8_t>(index));
}

void TACPForm::OccupyClicked() {
    if (TTCS* c = SelectedCircuit()) assessor_.Occupy(*c);
    ShowSelection();
    RefreshLog();
}

void TACPForm::UnoccupyClicked() {
    if (TTCS* c = SelectedCircuit()) assessor_.Unoccupy(*c);
    ShowSelection();
    RefreshLog();
}

void TACPForm::FailAllClicked() {
    if (TLOC* l = SelectedLocation()) assessor_.FailLocation(*l);
    QCoreApplication::processEvents();
    RefreshLog();
}

void TACPForm::FixAllClicked() {
    if (TLOC* l = SelectedLocation()) assessor_.FixLocation(*l);
    QCoreApplication::processEvents();
    RefreshLog();
}

void TACPForm::PauseTrainClicked() {
    if (TTRN* t = SelectedTrain()) assessor_.SetPaused(*t, PauseTrainCheck->isChecked());
    RefreshLog();
}

void TACPForm::ApplySPAD(const TACPSPADForm& dialog) {
    if (TTRN* t = SelectedTrain())
        assessor_.GiveSPADAuthority(*t, dialog.Choice(), dialog.Overrun());
    RefreshLog();
}

void TACPForm::PassSignalClicked() {
    if (!SelectedTrain()) return;
    TACPSPADForm dialog(sim_, this);
    if (dialog.exec() == QDialog::Accepted) ApplySPAD(dialog);
}

void TACPForm::ApplyAddTSR(const TTSREditForm& editor) {
    assessor_.AddTSR(editor.Draft());
    RefreshTSRs();
    RefreshLog();
}

void TACPForm::ApplyEditTSR(const TTSREditForm& editor) {
    if (TTSR* tsr = SelectedTSR()) assessor_.EditTSR(tsr, editor.Draft());
    RefreshTSRs();
    RefreshLog();
}

void TACPForm::AddTSRClicked() {
    TTSREditForm editor(sim_, TSRDraft{}, this);
    if (editor.exec() == QDialog::Accepted) ApplyAddTSR(editor);
}

void TACPForm::EditTSRClicked() {
    TTSR* tsr = SelectedTSR();
    if (!tsr) return;
    TTSREditForm editor(sim_, TAssessor::DraftOf(*tsr), this);
    if (editor.exec() == QDialog::Accepted) ApplyEditTSR(editor);
}

void TACPForm::DeleteTSRClicked() {
    if (TTSR* tsr = SelectedTSR()) assessor_.DeleteTSR(tsr);
    RefreshTSRs();
    RefreshLog();
}

void TACPForm::BarriersWorkingClicked() {
    if (TLevelCrossing* lx = SelectedCrossing())
        assessor_.SetBarrierFailed(*lx, !BarriersWorkingCheck->isChecked());
    ShowSelection();
    RefreshLog();
}

bool TACPForm::SaveReportTo(const QString& path) {
    std::vector<std::string> comments;
    const QStringList lines = CommentsEdit->toPlainText().split('\n');
    for (const QString& line : lines) comments.push_back(line.toStdString());
    if (CommentsEdit->toPlainText().isEmpty()) comments.clear();
    if (!assessor_.WriteReport(path.toStdString(), AssessorNameEdit->text().toStdString(),
                               AssesseeNameEdit->text().toStdString(), comments)) {
        sim_.Dialog().ShowError(AssessorReportError);
        return false;
    }
    return true;
}

void TACPForm::SaveClicked() {
    const QString path = QFileDialog::getSaveFileName(this, "Save to file", QString(),
                                                      "Text files (*.TXT);;All files (*.*)");
    if (!path.isEmpty()) SaveReportTo(path);
}

}  // namespace kestra::app
