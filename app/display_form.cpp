#include "display_form.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "net/net_session.h"
#include "graph_view.h"
#include "options_form.h"
#include "report_forms.h"
#include "persist/game_menu.h"
#include "startup_form.h"
#include "telephone_form.h"
#include "timetable_forms.h"
#include "assessor_form.h"
#include "panel/timetable_menu.h"
#include "display/options.h"

namespace kestra::app {

TDisplayForm::TDisplayForm(Sim& sim, QtPanelSurface& surface)
    : sim_(sim),
      surface_(surface),
      commands_(sim),
      dataFolder_(kestra::DataFolder(QDir::currentPath().toStdString(), sim.SimData.AreaID)),
      assessor_(sim, sim.Time().RealDateTime()) {
    setWindowTitle("Kestra");
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setMinimumSize(512, 384);
    connect(&majorCycle_, &QTimer::timeout, this, &TDisplayForm::OnMajorCycle);
    majorCycle_.start(sim_.MajorCycleInterval);
    ringTimer_.setInterval(2000);
    connect(&ringTimer_, &QTimer::timeout, this, [this] { sim_.Display().RingTimerTick(); });
    ovrTimer_.setInterval(20000);
    connect(&ovrTimer_, &QTimer::timeout, this, [this] {
        ovrTimer_.stop();
        commands_.OVRTimerEvent();
        FlushPanel();
    });
}

void TDisplayForm::SyncOverrideTimer(bool restart) {
    if (!sim_.OVRTimerRunning) {
        ovrTimer_.stop();
    } else if (restart || !ovrTimer_.isActive()) {
        ovrTimer_.start();
    }
}

void TDisplayForm::SyncRingTimer() {
    if (!sim_.Display().RingTimerRunning)
        ringTimer_.stop();
    else if (!ringTimer_.isActive())
        ringTimer_.start();
}

TTelephoneForm* TDisplayForm::ShowTelephone() {
    if (!telephone_) telephone_ = new TTelephoneForm(sim_, this);
    telephone_->Refresh();
    telephone_->show();
    telephone_->raise();
    return telephone_;
}

TIncidentForm* TDisplayForm::ShowIncidents() {
    if (!incidents_) incidents_ = new TIncidentForm(sim_, this);
    incidents_->Refresh();
    incidents_->show();
    incidents_->raise();
    return incidents_;
}

TTimetableListForm* TDisplayForm::ShowTimetableList() {
    if (!timetableList_) timetableList_ = new TTimetableListForm(sim_, this);
    if (timetableList_->isVisible()) timetableList_->Refresh();
    timetableList_->show();
    timetableList_->raise();
    timetableList_->activateWindow();
    return timetableList_;
}

void TDisplayForm::ShowTrainList() {
    TTrainListForm form(sim_, this);
    form.exec();
    FlushPanel();
}

TGraphForm* TDisplayForm::ShowGraph() {
    if (!graph_) graph_ = new TGraphForm(sim_, this);
    graph_->Refresh();
    graph_->show();
    graph_->raise();
    return graph_;
}

void TDisplayForm::ShowPunctuality() {
    TPunctualityForm form(sim_, this);
    form.exec();
}

void TDisplayForm::Perform(UiAction action) {
    switch (action) {
        case UiAction::TimetableEdit:
            ShowTimetableList();
            break;
        case UiAction::TrainList:
            ShowTrainList();
            break;
        case UiAction::PerformanceAnalysis:
            sim_.Dialog().ShowAnalysis(sim_.Performance.AnalysisLines());
            break;
        case UiAction::Telephone:
            ShowTelephone();
            break;
        case UiAction::IncidentReport:
            ShowIncidents();
            break;
        case UiAction::MainMenu: {
            QMenu* menu = BuildMainMenu();
            menu->exec(QCursor::pos());
            menu->deleteLater();
            break;
        }
        case UiAction::SignalMenu: {
            QMenu* menu = BuildSignalMenu();
            menu->exec(QCursor::pos());
            menu->deleteLater();
            break;
        }
        case UiAction::BerthMenu: {
            QMenu* menu = BuildBerthMenu();
            menu->exec(QCursor::pos());
            menu->deleteLater();
            break;
        }
        case UiAction::OptionsDialog:
            ShowOptions();
            break;
        case UiAction::InterposeBySignal:
            RunMenuCommand(MenuCommand::InterposeBySignal);
            break;
        case UiAction::SaveAs:
            RunMenuCommand(MenuCommand::SaveAs);
            break;
        case UiAction::SendMessage:
            RunMenuCommand(MenuCommand::SendMessage);
            break;
        default:
            break;  // windows of subsystems that are not part of the program yet
    }
    SyncOverrideTimer(false);
    FlushPanel();
}

QMenu* TDisplayForm::BuildMainMenu() {
    auto* menu = new QMenu(this);
    QMenu* sub = nullptr;
    QString heading;
    for (const MenuItem& item : MainMenuItems) {
        if (item.Menu[0] == '\0') continue;  // the signal pop-up menu's items
        if (sub == nullptr || heading != item.Menu) {
            heading = item.Menu;
            sub = menu->addMenu(heading);
        }
        QAction* a = sub->addAction(item.Caption);
        if (item.Shortcut[0] != '\0') a->setShortcut(QKeySequence(item.Shortcut));
        a->setShortcutVisibleInContextMenu(true);
        a->setEnabled(item.Available);
        a->setVisible(!item.Hidden);
        if (item.Command == MenuCommand::ShowAssessorControlPanel) {
            a->setEnabled(assessorMode_);
            a->setVisible(assessorMode_);
        }
        if (item.Command == MenuCommand::OverrideReminderMode) {
            a->setCheckable(true);
            a->setChecked(sim_.Operator.OverrideMode);
        }
        const bool networkItem = item.Command == MenuCommand::ListenForClients ||
                                 item.Command == MenuCommand::ConnectToServer ||
                                 item.Command == MenuCommand::DisconnectFromServer ||
                                 item.Command == MenuCommand::SendMessage ||
                                 item.Command == MenuCommand::Refresh;
        if (network_ != nullptr && networkItem) {
            a->setEnabled(NetworkItemEnabled(item.Command));
            if (item.Command == MenuCommand::ListenForClients) {
                a->setCheckable(true);
                a->setChecked(network_->Listening());
            }
        }
        const MenuCommand command = item.Command;
        connect(a, &QAction::triggered, this, [this, command] { RunMenuCommand(command); });
    }
    // The pictures of the day: the graph follows the game, the report can be kept.
    QMenu* reports = menu->addMenu("&Reports");
    QAction* graph = reports->addAction("Time-Distance &Graph");
    graph->setShortcut(QKeySequence("F8"));
    graph->setShortcutVisibleInContextMenu(true);
    connect(graph, &QAction::triggered, this, [this] { ShowGraph(); });
    QAction* punctuality = reports->addAction("&Punctuality Report");
    punctuality->setShortcut(QKeySequence("F9"));
    punctuality->setShortcutVisibleInContextMenu(true);
    connect(punctuality, &QAction::triggered, this, [this] { ShowPunctuality(); });
    // Help for a newcomer, last as in any program.
    QMenu* help = menu->addMenu("&Help");
    const std::pair<const char*, HelpPage> pages[] = {{"&Keys and mouse", HelpPage::KeysAndMouse},
                                                      {"&Panel legend", HelpPage::PanelLegend},
                                                      {"&First game", HelpPage::FirstGame}};
    for (const auto& [caption, page] : pages)
        connect(help->addAction(caption), &QAction::triggered, this,
                [this, p = page] { ShowHelp(p); });
    return menu;
}

THelpWindow* TDisplayForm::ShowHelp(HelpPage page) {
    auto* window = new THelpWindow(page, this);
    window->show();
    return window;
}

QMenu* TDisplayForm::BuildSignalMenu() {
    auto* menu = new QMenu(this);
    QAction* caption = menu->addAction(QString::fromStdString(commands_.SignalMenuCaption()));
    caption->setVisible(commands_.SignalMenuCaptionVisible());
    menu->setDefaultAction(caption);
    for (const MenuItem& item : MainMenuItems) {
        if (item.Menu[0] != '\0') continue;
        QAction* a = menu->addAction(item.Caption);
        a->setEnabled(item.Available);
        switch (item.Command) {
            case MenuCommand::SignalCancelRoute:
                a->setEnabled(item.Available && commands_.SignalMenuCancelEnabled());
                break;
            case MenuCommand::SignalGeneralReminder:
                a->setCheckable(true);
                a->setChecked(commands_.SignalMenuGeneralChecked());
                break;
            case MenuCommand::SignalTractionReminder:
                a->setCheckable(true);
                a->setChecked(commands_.SignalMenuTractionChecked());
                break;
            default:
                break;
        }
        const MenuCommand command = item.Command;
        connect(a, &QAction::triggered, this, [this, command] { RunMenuCommand(command); });
    }
    return menu;
}

QMenu* TDisplayForm::BuildBerthMenu() {
    auto* menu = new QMenu(this);
    for (const MenuItem& item : BerthMenuItems) {
        QAction* a = menu->addAction(item.Caption);
        a->setEnabled(item.Available);
        const MenuCommand command = item.Command;
        connect(a, &QAction::triggered, this, [this, command] { RunMenuCommand(command); });
    }
    return menu;
}

bool TDisplayForm::NetworkItemEnabled(MenuCommand command) const {
    const bool client = network_ && network_->Role() == net::NetRole::Client;
    const bool server = network_ && network_->Listening();
    switch (command) {
        case MenuCommand::ListenForClients:
            return network_ && !client;
        case MenuCommand::ConnectToServer:
            return network_ && !client && !server;
        case MenuCommand::DisconnectFromServer:
            return client;
        case MenuCommand::SendMessage:
            return client || server;
        case MenuCommand::Refresh:
            return client && network_->Connected();
        default:
            return false;
    }
}

bool TDisplayForm::AskAndConnect() {
    bool ok = false;
    const auto last = sim_.Settings().Read("LastIPAddress");
    const QString text = QInputDialog::getText(
        this, "Connect to server", "Enter IP address", QLineEdit::Normal,
        QString::fromStdString(last.value_or("127.0.0.1")), &ok);
    if (!ok) return false;
    sim_.Settings().Write("LastIPAddress", text.trimmed().toStdString());
    sim_.Messages().ClearMessages();
    std::string host = text.trimmed().toStdString();
    int port = net::DefaultPort;
    if (const auto colon = host.rfind(':'); colon != std::string::npos && host.find(':') == colon) {
        port = std::atoi(host.c_str() + colon + 1);
        host.resize(colon);
    }
    network_->Connect(host, port);
    return true;
}

void TDisplayForm::RunMenuCommand(MenuCommand command) {
    switch (command) {
        case MenuCommand::ListenForClients:
            if (!NetworkItemEnabled(command)) break;
            if (network_->Listening())
                network_->StopListening();
            else
                network_->Listen();
            break;
        case MenuCommand::ConnectToServer:
            if (NetworkItemEnabled(command)) AskAndConnect();
            break;
        case MenuCommand::DisconnectFromServer:
            if (NetworkItemEnabled(command)) network_->Disconnect();
            break;
        case MenuCommand::Refresh:
            if (NetworkItemEnabled(command)) network_->Refresh();
            break;
        case MenuCommand::ShowAssessorControlPanel:
            ShowAssessorPanel();
            break;
        case MenuCommand::SendMessage: {
            if (!NetworkItemEnabled(command)) break;
            bool ok = false;
            const QString text = QInputDialog::getText(
                this, "Send Message", "Enter message:", QLineEdit::Normal, QString(), &ok);
            if (ok) network_->SendChatMessage(text.toStdString());
            break;
        }
        default:
            RunPanelMenuCommand(command);
            return;
    }
    FlushPanel();
}

void TDisplayForm::RunPanelMenuCommand(MenuCommand command) {
    // Commands whose subsystem is not built yet are disabled in the menus and their keys
    // do nothing; the table in panel/menus.h says which.
    for (const MenuItem& item : MainMenuItems) {
        if (item.Command == command && !item.Available) return;
    }
    switch (command) {
        case MenuCommand::Exit:
            close();
            break;
        case MenuCommand::OverrideReminderMode:
            commands_.OverrideMenuItem();
            SyncOverrideTimer(true);
            break;
        case MenuCommand::Options:
            ShowOptions();
            break;
        case MenuCommand::SaveAs:
            SaveGameAs(sim_, dataFolder_);
            break;
        case MenuCommand::NewSimulation:
            // The timetable list would show the timetable that is about to go.
            if (timetableList_) timetableList_->hide();
            // The start-up dialog comes with the next cycle.
            NewSimulation(sim_);
            sim_.Display().RedrawPanel();
            break;
        case MenuCommand::Telephone:
            Perform(commands_.KeyPress(PanelKey::F6, 0));
            break;
        case MenuCommand::IncidentReport:
            Perform(commands_.KeyPress(PanelKey::F7, 0));
            break;
        case MenuCommand::TimetableEdit:
            Perform(commands_.KeyPress(PanelKey::F4, 0));
            break;
        case MenuCommand::ShowTrainList:
            Perform(commands_.KeyPress(PanelKey::F2, 0));
            break;
        case MenuCommand::PerformanceAnalysis:
            Perform(commands_.KeyPress(PanelKey::F5, 0));
            break;
        case MenuCommand::SignalCancelRoute:
            commands_.SignalMenuCancelRoute();
            break;
        case MenuCommand::SignalGeneralReminder:
            commands_.SignalMenuGeneralReminder();
            break;
        case MenuCommand::SignalTractionReminder:
            commands_.SignalMenuTractionReminder();
            break;
        case MenuCommand::InterposeBySignal: {
            bool ok = false;
            const QString text =
                QInputDialog::getText(this, "Interpose By Signal", "Enter description",
                                      QLineEdit::Normal, QString(), &ok);
            if (ok) {
                commands_.StartInterposeBySignal(text.toStdString());
                SyncOverrideTimer(true);
            }
            break;
        }
        case MenuCommand::TimetableOpen:
            TimetableOpenMerge(sim_);
            break;
        case MenuCommand::TimetableSaveAs:
            setCursor(Qt::WaitCursor);
            TimetableSaveAs(sim_);
            unsetCursor();
            break;
        case MenuCommand::CancelBySignal:
            commands_.StartCancelBySignal();
            SyncOverrideTimer(true);
            break;
        case MenuCommand::FindDescription:
            if (const auto pixel = commands_.FindDescription()) {
                const QRect r = PanelRect();
                const int scale = r.width() / PanelWidth;
                QCursor::setPos(mapToGlobal(
                    QPoint(r.left() + pixel->first * scale, r.top() + pixel->second * scale)));
            }
            break;
        case MenuCommand::SignalInterposeTD: {
            const TSIG* s = sim_.Operator.SelectedSignal;
            SignalBerthTarget* berth = s ? const_cast<TSIG*>(s)->SignalBerth() : nullptr;
            const auto* b = dynamic_cast<const TBER*>(berth);
            if (berth == nullptr) {
                commands_.SignalMenuInterposeTD({});  // the error box
                break;
            }
            bool ok = false;
            const QString text =
                QInputDialog::getText(this, "Interpose", "Enter new description", QLineEdit::Normal,
                                      b ? QString::fromStdString(b->Description) : QString(), &ok);
            if (ok) commands_.SignalMenuInterposeTD(text.toStdString());
            break;
        }
        case MenuCommand::SignalCancelTD:
            commands_.SignalMenuCancelTD();
            break;
        case MenuCommand::BerthInterpose:
            commands_.BerthMenuInterpose();
            break;
        case MenuCommand::BerthCancel:
            commands_.BerthMenuCancel();
            break;
        case MenuCommand::BerthMakeARS:
        case MenuCommand::BerthMakeNonARS:
        case MenuCommand::BerthIsARS:
        case MenuCommand::BerthQueryRoutesetting:
        case MenuCommand::BerthQueryTimetable:
        case MenuCommand::BerthRunToSpecialTiming:
        case MenuCommand::BerthPopupARSInformation:
            commands_.BerthMenuARS(command);
            break;
        default:
            break;
    }
    FlushPanel();
}

QRect TDisplayForm::PanelRectFor(const QSize& window) {
    const int scale =
        std::max(1, std::min(window.width() / PanelWidth, window.height() / PanelHeight));
    const int w = PanelWidth * scale;
    const int h = PanelHeight * scale;
    return QRect((window.width() - w) / 2, (window.height() - h) / 2, w, h);
}

QPoint TDisplayForm::ToPanel(const QPoint& window) const {
    const QRect r = PanelRect();
    const int scale = r.width() / PanelWidth;
    auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    return QPoint(floorDiv(window.x() - r.left(), scale), floorDiv(window.y() - r.top(), scale));
}

void TDisplayForm::FlushPanel() {
    const QRect dirty = surface_.TakeDirty();
    if (dirty.isEmpty()) return;
    const QRect r = PanelRect();
    const int scale = r.width() / PanelWidth;
    update(QRect(r.left() + dirty.left() * scale, r.top() + dirty.top() * scale,
                 dirty.width() * scale, dirty.height() * scale));
}

void TDisplayForm::OnMajorCycle() {
    sim_.MajorCycleTick();
    if (network_) network_->Pump();
    SyncRingTimer();
    if (majorCycle_.interval() != sim_.MajorCycleInterval)
        majorCycle_.setInterval(sim_.MajorCycleInterval);
    FlushPanel();
    if (sim_.StartupTimerRunning) RunStartupDialog();
}

bool TDisplayForm::RunStartupDialog() {
    sim_.StartupTimerRunning = false;
    sim_.PauseSimulation();
    std::function<bool()> networkPlay;
    if (network_) networkPlay = [this] { return AskAndConnect(); };
    TStartupForm form(sim_, dataFolder_, this, networkPlay);
    const bool ready = form.exec() == QDialog::Accepted;
    sim_.Display().RedrawPanel();
    FlushPanel();
    sim_.ResumeSimulation();
    if (!ready) close();
    return ready;
}

void TDisplayForm::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect r = PanelRect();
    const int scale = r.width() / PanelWidth;
    // Black margins around the panel.
    const QRegion margins = QRegion(event->rect()) - QRegion(r);
    for (const QRect& m : margins) p.fillRect(m, Qt::black);
    // The panel pixels under the exposed area, whole pixels only, nearest neighbour.
    const QRect exposed = event->rect() & r;
    if (exposed.isEmpty()) return;
    const int x0 = (exposed.left() - r.left()) / scale;
    const int y0 = (exposed.top() - r.top()) / scale;
    const int x1 = (exposed.right() - r.left()) / scale;
    const int y1 = (exposed.bottom() - r.top()) / scale;
    const QRect source(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    const QRect target(r.left() + x0 * scale, r.top() + y0 * scale, source.width() * scale,
                       source.height() * scale);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(target, surface_.Image(), source);
}

void TDisplayForm::ShowOptions() {
    TOptionsForm form(sim_, this);
    form.exec();
    majorCycle_.setInterval(sim_.MajorCycleInterval);
    sim_.Display().RedrawPanel();
    FlushPanel();
}

std::optional<TDisplayForm::PanelKeyPress> TDisplayForm::PanelKeyFor(
    int key, Qt::KeyboardModifiers modifiers) {
    const auto mods = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (mods == Qt::NoModifier) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return PanelKeyPress{PanelKey::Digit, key - Qt::Key_0};
        switch (key) {
            case Qt::Key_F1:
                return PanelKeyPress{PanelKey::F1};
            case Qt::Key_F2:
                return PanelKeyPress{PanelKey::F2};
            case Qt::Key_F3:
                return PanelKeyPress{PanelKey::F3};
            case Qt::Key_F4:
                return PanelKeyPress{PanelKey::F4};
            case Qt::Key_F5:
                return PanelKeyPress{PanelKey::F5};
            case Qt::Key_F6:
                return PanelKeyPress{PanelKey::F6};
            case Qt::Key_F7:
                return PanelKeyPress{PanelKey::F7};
            case Qt::Key_F10:
                return PanelKeyPress{PanelKey::F10};
            case Qt::Key_F11:
                return PanelKeyPress{PanelKey::F11};
            case Qt::Key_P:
                return PanelKeyPress{PanelKey::P};
            default:
                return std::nullopt;
        }
    }
    if (mods == Qt::ControlModifier) {
        if (key == Qt::Key_S) return PanelKeyPress{PanelKey::CtrlS};
        if (key == Qt::Key_I) return PanelKeyPress{PanelKey::CtrlI};
    }
    return std::nullopt;
}

bool TDisplayForm::IsCloseKey(int key, Qt::KeyboardModifiers modifiers) {
    return key == Qt::Key_Escape && (modifiers & Qt::ShiftModifier);
}

MouseButton TDisplayForm::PanelButton(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return MouseButton::Left;
        case Qt::RightButton:
            return MouseButton::Right;
        default:
            return MouseButton::Other;
    }
}

TACPForm* TDisplayForm::ShowAssessorPanel() {
    if (!assessorMode_) return nullptr;
    if (sim_.ClientMode) {
        sim_.PostEventMessage(NotInClientMode, EvGeneral);
        FlushPanel();
        return nullptr;
    }
    if (acp_ == nullptr) acp_ = new TACPForm(sim_, assessor_, this);
    acp_->show();
    acp_->raise();
    return acp_;
}

void TDisplayForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F11 && event->modifiers() == Qt::NoModifier && assessorMode_) {
        ShowAssessorPanel();
        return;
    }
    if (const auto k = PanelKeyFor(event->key(), event->modifiers())) {
        Perform(commands_.KeyPress(k->Key, k->Digit));
        return;
    }
    if (IsCloseKey(event->key(), event->modifiers())) {
        close();
        return;
    }
    const bool plain = (event->modifiers() &
                        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0;
    if (plain && (event->key() == Qt::Key_F8 || event->key() == Qt::Key_F9)) {
        // A client keeps no running record of its own.
        if (sim_.ClientMode)
            sim_.PostEventMessage(NotInClientMode, EvGeneral);
        else if (event->key() == Qt::Key_F8)
            ShowGraph();
        else
            ShowPunctuality();
        FlushPanel();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TDisplayForm::mousePressEvent(QMouseEvent* event) {
    const QPoint p = ToPanel(event->position().toPoint());
    if (p.x() < 0 || p.y() < 0 || p.x() >= PanelWidth || p.y() >= PanelHeight) return;
    const bool overrideWasOn = sim_.Operator.OverrideMode;
    const UiAction action = commands_.MousePress(p.x(), p.y(), PanelButton(event->button()));
    // ROV starts the override timer afresh each time it switches the mode on.
    SyncOverrideTimer(!overrideWasOn && sim_.Operator.OverrideMode);
    Perform(action);
}

void TDisplayForm::mouseMoveEvent(QMouseEvent* event) {
    const QPoint window = event->position().toPoint();
    // The screen edges of the window count as the panel's edges.
    int px = ToPanel(window).x();
    if (window.x() >= width() - 1) px = std::max(px, PanelWidth - 1);
    if (window.x() <= 0) px = std::min(px, 0);
    const int move = sim_.Display().PageFlip(px);
    if (move != 0) {
        const int scale = PanelRect().width() / PanelWidth;
        QCursor::setPos(mapToGlobal(QPoint(window.x() + move * scale, window.y())));
        FlushPanel();
    }
}

void TDisplayForm::wheelEvent(QWheelEvent* event) {
    sim_.Display().WheelMoved(event->angleDelta().y());
    FlushPanel();
}

void TDisplayForm::closeEvent(QCloseEvent* event) {
    sim_.PauseSimulation();
    majorCycle_.stop();
    setWindowTitle("Kestra exiting...");
    event->accept();
}

void TDisplayForm::hideEvent(QHideEvent* event) {
    // Hiding the main window writes the options.
    SaveOptions(sim_);
    QWidget::hideEvent(event);
}

}  // namespace kestra::app
