#include "telephone_form.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "core/time_format.h"

namespace kestra::app {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// One line per call: the time at 2 pixels, the caller at 74 and its state at 400.
class CallLineDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(option.rect,
                          selected ? option.palette.highlight() : option.palette.base());
        painter->setPen(selected ? option.palette.highlightedText().color()
                                 : option.palette.text().color());
        const QStringList parts = index.data(Qt::UserRole).toStringList();
        const int offsets[3] = {2, 74, 400};
        for (int i = 0; i < 3 && i < parts.size(); ++i) {
            QRect r = option.rect;
            r.setLeft(option.rect.left() + offsets[i]);
            painter->drawText(r, Qt::AlignVCenter | Qt::AlignLeft, parts[i]);
        }
    }
};

}  // namespace

// --- answer window

TAnswerCallForm::TAnswerCallForm(Sim& sim, TCall& call, QWidget* parent)
    : QDialog(parent), sim_(sim) {
    setWindowTitle("Answer Call");
    setObjectName("AnswerCallForm");
    sim_.Calls.ShowCall(&call);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Q(call.Caller)));
    MessageLabel = new QLabel(Q(call.Message));
    MessageLabel->setWordWrap(true);
    layout->addWidget(MessageLabel);
    layout->addWidget(new QLabel("Select your reply"));
    RepliesList = new QListWidget;
    for (const TCallReply& r : call.Replies) RepliesList->addItem(Q(r.Text));
    layout->addWidget(RepliesList);
    ReplyButton = new QPushButton("Reply");
    layout->addWidget(ReplyButton, 0, Qt::AlignRight);
    connect(ReplyButton, &QPushButton::clicked, this, &TAnswerCallForm::ReplyClicked);
    connect(RepliesList, &QListWidget::itemDoubleClicked, this, &TAnswerCallForm::ReplyClicked);
    resize(520, 300);
}

TAnswerCallForm::~TAnswerCallForm() {
    sim_.Calls.CloseAnswerWindow();
}

void TAnswerCallForm::ReplyClicked() {
    const int index = RepliesList->currentRow();
    if (index < 0) return;
    TCall* call = sim_.Calls.ShownCall();
    if (call && index < static_cast<int>(call->Replies.size()) &&
        call->Replies[static_cast<std::size_t>(index)].Confirm) {
        const std::string text = "Confirmation required for this action. Is your response \"" +
                                 call->Replies[static_cast<std::size_t>(index)].Text + "\"?";
        if (!sim_.Dialog().Confirm(text)) return;
    }
    // A call whose caller rang off meanwhile is answered by nobody: the message line
    // says so.
    sim_.Calls.ReplyToShownCall(index);
    accept();
}

// --- the calls

TTelephoneForm::TTelephoneForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setWindowTitle("Telephone Calls");
    setObjectName("TelephoneForm");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Calls outstanding"));
    CallsList = new QListWidget;
    CallsList->setItemDelegate(new CallLineDelegate(CallsList));
    layout->addWidget(CallsList);
    auto* buttons = new QHBoxLayout;
    AnswerButton = new QPushButton("Answer call");
    PlaceCallButton = new QPushButton("Place call...");
    CloseButton = new QPushButton("Close");
    buttons->addWidget(AnswerButton);
    buttons->addWidget(PlaceCallButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);
    layout->addLayout(buttons);
    connect(AnswerButton, &QPushButton::clicked, this, &TTelephoneForm::AnswerCall);
    connect(CallsList, &QListWidget::itemDoubleClicked, this, [this] { AnswerCall(); });
    connect(PlaceCallButton, &QPushButton::clicked, this, &TTelephoneForm::PlaceCall);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
    connect(&refresh_, &QTimer::timeout, this, &TTelephoneForm::Refresh);
    refresh_.start(500);
    resize(560, 260);
    Refresh();
}

TCall* TTelephoneForm::CallAt(int row) const {
    if (row < 0 || row >= CallsList->count()) return nullptr;
    auto* call = static_cast<TCall*>(CallsList->item(row)->data(Qt::UserRole + 1).value<void*>());
    // The row may name a call that has just gone.
    return sim_.Calls.Contains(call) ? call : nullptr;
}

void TTelephoneForm::Refresh() {
    const TCall* selected = CallAt(CallsList->currentRow());
    CallsList->clear();
    for (int i = 0; i < sim_.Calls.Count(); ++i) {
        TCall& c = sim_.Calls.At(i);
        const QString state = c.IsUnanswered() ? "Unanswered" : "Awaiting reply";
        auto* item =
            new QListWidgetItem(Q(FormatClock(c.CallTime)) + "  " + Q(c.Caller) + "  " + state);
        item->setData(Qt::UserRole, QStringList{Q(FormatClock(c.CallTime)), Q(c.Caller), state});
        item->setData(Qt::UserRole + 1, QVariant::fromValue(static_cast<void*>(&c)));
        CallsList->addItem(item);
        if (&c == selected) CallsList->setCurrentRow(i);
    }
    if (CallsList->currentRow() < 0 && CallsList->count() > 0) CallsList->setCurrentRow(0);
    AnswerButton->setEnabled(CallsList->count() > 0);
}

void TTelephoneForm::AnswerCall() {
    TCall* call = CallAt(CallsList->currentRow());
    if (!call) return;
    TAnswerCallForm form(sim_, *call, this);
    answer_ = &form;
    form.exec();
    answer_ = nullptr;
    Refresh();
    if (sim_.Calls.Count() == 0) close();
}

void TTelephoneForm::PlaceCall() {
    if (!placeCall_) placeCall_ = new TPlaceCallForm(sim_, parentWidget());
    placeCall_->show();
    placeCall_->raise();
    hide();
}

// --- placing a call

TPlaceCallForm::TPlaceCallForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setWindowTitle("Place Call");
    setObjectName("PlaceCallForm");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Place call to"));
    PartyList = new QListWidget;
    layout->addWidget(PartyList);
    StatusLabel = new QLabel("Dial tone");
    layout->addWidget(StatusLabel);
    layout->addWidget(new QLabel("Request/message"));
    RequestList = new QListWidget;
    layout->addWidget(RequestList);
    layout->addWidget(new QLabel("Response"));
    ResponseText = new QPlainTextEdit;
    ResponseText->setReadOnly(true);
    ResponseText->setMaximumHeight(80);
    layout->addWidget(ResponseText);
    auto* buttons = new QHBoxLayout;
    DialButton = new QPushButton("Dial");
    SendButton = new QPushButton("Send request/message");
    HangUpButton = new QPushButton("Hang up");
    HangUpCloseButton = new QPushButton("Hang up and close");
    for (QPushButton* b : {DialButton, SendButton, HangUpButton, HangUpCloseButton})
        buttons->addWidget(b);
    layout->addLayout(buttons);
    RingingTimer.setSingleShot(true);
    connect(&RingingTimer, &QTimer::timeout, this, &TPlaceCallForm::Connect);
    connect(DialButton, &QPushButton::clicked, this, &TPlaceCallForm::Dial);
    connect(SendButton, &QPushButton::clicked, this, &TPlaceCallForm::Send);
    connect(HangUpButton, &QPushButton::clicked, this, &TPlaceCallForm::HangUp);
    connect(HangUpCloseButton, &QPushButton::clicked, this, [this] {
        HangUp();
        close();
    });
    connect(PartyList, &QListWidget::currentRowChanged, this, &TPlaceCallForm::UpdateControls);
    connect(RequestList, &QListWidget::currentRowChanged, this, &TPlaceCallForm::UpdateControls);
    resize(520, 460);
}

void TPlaceCallForm::showEvent(QShowEvent* event) {
    HangUp();
    PartyList->clear();
    for (const PhoneBookEntry& e : sim_.PhoneBook.Entries) PartyList->addItem(Q(e.Name));
    UpdateControls();
    QDialog::showEvent(event);
}

void TPlaceCallForm::UpdateControls() {
    const std::int32_t state = sim_.PlaceCall.LineState;
    static const char* const names[] = {"Dial tone", "Ringing...", "Connected"};
    StatusLabel->setText(names[std::clamp(state, 0, 2)]);
    PartyList->setEnabled(state == LineDialTone);
    DialButton->setEnabled(state == LineDialTone && PartyList->currentRow() >= 0);
    RequestList->setEnabled(state == LineConnected);
    SendButton->setEnabled(state == LineConnected && RequestList->currentRow() >= 0);
    HangUpButton->setEnabled(state != LineDialTone);
}

void TPlaceCallForm::Dial() {
    QListWidgetItem* party = PartyList->currentItem();
    if (!party) return;
    const std::int32_t ms = sim_.PlaceCall.Dial(party->text().toStdString());
    if (ms < 0) return;
    RequestList->clear();
    ResponseText->clear();
    RingingTimer.start(ms);
    UpdateControls();
}

void TPlaceCallForm::Connect() {
    sim_.PlaceCall.Connect();
    RequestList->clear();
    if (const PhoneBookEntry* e = sim_.PlaceCall.SelectedEntry)
        for (const std::string& r : e->Requests) RequestList->addItem(Q(r));
    UpdateControls();
}

void TPlaceCallForm::Send() {
    const int index = RequestList->currentRow();
    if (index < 0) return;
    ResponseText->setPlainText(Q(sim_.PlaceCall.SendRequest(index, sim_.Dialog())));
}

void TPlaceCallForm::HangUp() {
    RingingTimer.stop();
    sim_.PlaceCall.HangUp();
    RequestList->clear();
    UpdateControls();
}

// --- the incident log

TIncidentForm::TIncidentForm(Sim& sim, QWidget* parent) : QDialog(parent), sim_(sim) {
    setWindowTitle("Incident Report");
    setObjectName("IncidentForm");
    auto* layout = new QVBoxLayout(this);
    LogText = new QPlainTextEdit;
    LogText->setReadOnly(true);
    LogText->setFont(QFont("Monospace"));
    layout->addWidget(LogText);
    connect(&refresh_, &QTimer::timeout, this, &TIncidentForm::Refresh);
    refresh_.start(1000);
    resize(640, 400);
    Refresh();
}

void TIncidentForm::Refresh() {
    const std::vector<std::string>& lines = sim_.Incidents.Lines;
    // A new simulation empties the log: start again.
    if (lines.size() < shown_) {
        LogText->clear();
        shown_ = 0;
    }
    for (; shown_ < lines.size(); ++shown_) LogText->appendPlainText(Q(lines[shown_]));
}

std::string UseStandardSounds(Sim& sim, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        if (!QFileInfo::exists(Q(folder + "/" + StandardSoundFile(EvTelephone)))) continue;
        for (int type = 0; type < EventTypeCount; ++type) {
            TMessageOption& option = sim.Messages().Options[static_cast<std::size_t>(type)];
            const std::string path = folder + "/" + StandardSoundFile(type);
            if (option.SoundFilename.empty() && QFileInfo::exists(Q(path)))
                option.SoundFilename = QFileInfo(Q(path)).absoluteFilePath().toStdString();
        }
        return folder;
    }
    return {};
}

}  // namespace kestra::app
