#include "places/path.h"

namespace kestra {

namespace {
// An empty code on the path matches any code; a set one only the same code.
bool CodeMatches(const std::string& pathCode, std::string_view given) {
    return pathCode.empty() || pathCode == given;
}
bool IsLinkable(const TSSIObject* o) {
    return o && (o->Kind == KindBerth || o->Kind == KindRoute);
}
}  // namespace

TPTH* TPTHList::FindPath(const PathQuery& q) const {
    for (const Entry& e : entries_) {
        auto* p = static_cast<TPTH*>(e.Object);
        if (!p || p->Entry != q.Entry || p->FromLocation != q.FromLocation ||
            p->ToLocation != q.ToLocation)
            continue;
        if (CodeMatches(p->FromPlatform, q.FromPlatform) && CodeMatches(p->FromPath, q.FromPath) &&
            CodeMatches(p->FromLine, q.FromLine) && CodeMatches(p->ToPlatform, q.ToPlatform) &&
            CodeMatches(p->ToPath, q.ToPath) && CodeMatches(p->ToLine, q.ToLine))
            return p;
    }
    return nullptr;
}

std::string TPTHList::ListPaths(TENT* entry, TLOC* fromLocation, TLOC* toLocation) const {
    std::string lines;
    int listed = 0;
    bool more = false;
    for (const Entry& e : entries_) {
        const auto* p = static_cast<const TPTH*>(e.Object);
        if (!p || p->Entry != entry || p->FromLocation != fromLocation ||
            p->ToLocation != toLocation)
            continue;
        if (listed == kListLimit) {
            // Said only when a further path really exists.
            more = true;
            break;
        }
        lines += "\t" + p->FromPlatform + "\t" + p->FromPath + "\t" + p->FromLine + "\t-\t" +
                 p->ToPlatform + "\t" + p->ToPath + "\t" + p->ToLine + "\n\r";
        ++listed;
    }
    if (listed == 0) return "\tNone found.\n\r";
    if (more) lines += "More available (list too long)\n\r";
    return "\tPlat\tPath\tLine\t-\tPlat\tPath\tLine\n\r" + lines;
}

TPTH* TPTHList::FindPathForACI(TENT* entry, TLOC* fromLocation, const TSSIObject* object,
                               TLOC* toLocation) const {
    for (const Entry& e : entries_) {
        auto* p = static_cast<TPTH*>(e.Object);
        if (!p || p->ToLocation != toLocation) continue;
        const bool start = p->Entry ? p->Entry == entry : p->FromLocation == fromLocation;
        if (start && p->Objects.IndexOf(object) >= 0) return p;
    }
    return nullptr;
}

void TPTHList::InitPaths() {
    links_.clear();
    for (const Entry& e : entries_) {
        const auto* p = static_cast<const TPTH*>(e.Object);
        if (!p || p->StartDirection != p->EndDirection) continue;
        for (int i = 0; i + 1 < p->Objects.Count(); ++i) {
            TSSIObject* a = p->Objects.GetItem(i);
            TSSIObject* b = p->Objects.GetItem(i + 1);
            if (!IsLinkable(a) || !b) continue;
            auto& list = links_[a];
            // Each path puts its link in front: the last path in the list comes first.
            list.insert(list.begin(), ARSLink{b, p->StartDirection});
        }
    }
}

const std::vector<ARSLink>& TPTHList::ARSRoutes(const TSSIObject* from) const {
    static const std::vector<ARSLink> kNone;
    const auto it = links_.find(from);
    return it == links_.end() ? kNone : it->second;
}

}  // namespace kestra
