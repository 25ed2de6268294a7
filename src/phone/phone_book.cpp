#include "phone/phone_book.h"

#include "core/ports.h"
#include "sim/sim.h"

namespace kestra {

const PhoneBookEntry* TPhoneBook::Find(const std::string& name) const {
    for (const PhoneBookEntry& e : Entries) {
        if (e.Name == name) return &e;
    }
    return nullptr;
}

std::vector<std::string> RequestParameters(const std::string& request) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (names.size() < kMaxRequestParameters) {
        const std::size_t open = request.find('<', at);
        if (open == std::string::npos) break;
        const std::size_t close = request.find('>', open + 1);
        if (close == std::string::npos) break;
        names.push_back(request.substr(open + 1, close - open - 1));
        at = close + 1;
    }
    return names;
}

std::int32_t TPlaceCall::Dial(const std::string& name) {
    if (LineState != LineDialTone) return -1;
    const PhoneBookEntry* entry = sim_.PhoneBook.Find(name);
    if (!entry) return -1;
    SelectedEntry = entry;
    LineState = LineRinging;
    const std::int32_t r = sim_.RandomInt(100);
    if (r <= 80) return 5000 + 1000 * sim_.RandomInt(5);
    if (r >= 96) return 60000 + 1000 * sim_.RandomInt(60);
    return 15000 + 1000 * sim_.RandomInt(15);
}

void TPlaceCall::Connect() {
    if (LineState == LineRinging && SelectedEntry) LineState = LineConnected;
}

std::string TPlaceCall::SendRequest(int index, Dialogs& dialogs) {
    if (LineState != LineConnected || !SelectedEntry || index < 0 ||
        index >= static_cast<int>(SelectedEntry->Requests.size()))
        return {};
    const std::vector<std::string> names =
        RequestParameters(SelectedEntry->Requests[static_cast<std::size_t>(index)]);
    RequestValues values;
    for (std::size_t n = 0; n < names.size(); ++n) {
        const std::optional<std::string> value =
            dialogs.InputBox("Parameter " + std::to_string(n + 1), "Enter " + names[n], "");
        if (!value) break;
        values[n] = *value;
    }
    if (!SelectedEntry->OnRequest) return {};
    try {
        return SelectedEntry->OnRequest(index, values);
    } catch (const std::exception&) {
        return {};
    }
}

void TPlaceCall::HangUp() {
    LineState = LineDialTone;
    SelectedEntry = nullptr;
}

}  // namespace kestra
