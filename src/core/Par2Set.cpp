// Gathering the packets of several scans into recovery sets, and numbering the input slices.
#include "Par2Set.h"

#include "Gf16.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

// What the scans hold of one set ID, the first of each kind winning.
struct TGathered {
    const TPar2Main* Main = nullptr;
    std::map<TPar2Id, const TPar2FileDesc*> Descs;
    std::multimap<TPar2Id, const TPar2SliceChecks*> Checks;
    std::map<uint32_t, TPar2SetRecovery> Recoveries;
};

// Numbers the slices of a set whose main packet is there.
void Number(TPar2Set& set, const TGathered& g)
{
    set.SliceSize = g.Main->SliceSize;
    set.NonRecoverable = g.Main->NonRecoverable;
    const std::vector<TPar2Id>& ids = g.Main->Recoverable;
    if (set.SliceSize == 0 || set.SliceSize % 4 != 0 || set.SliceSize > Par2MaxSliceSize ||
        std::set<TPar2Id>(ids.begin(), ids.end()).size() != ids.size()) {
        set.State = EPar2SetState::BadMain;
        return;
    }
    uint64_t slices = 0;
    std::vector<const TPar2SliceChecks*> checks;
    for (const TPar2Id& id : g.Main->Recoverable) {
        const auto desc = g.Descs.find(id);
        if (desc == g.Descs.end()) {
            ++set.MissingDescs;
            set.MissingChecks += g.Checks.count(id) == 0;
            continue;
        }
        const TPar2FileDesc& d = *desc->second;
        if (d.Length > Par2MaxFileLength) {
            set.State = EPar2SetState::BadMain;
            return;
        }
        TPar2SetFile f;
        f.FileId = id;
        f.Name = d.Name;
        f.Length = d.Length;
        f.Md5 = d.Md5;
        f.Md5First16k = d.Md5First16k;
        const uint64_t count = d.Length / set.SliceSize + (d.Length % set.SliceSize != 0);
        f.FirstSlice = static_cast<uint32_t>(slices < Gf16InputConstantCount ? slices : 0);
        slices += count;
        if (slices > Gf16InputConstantCount) {
            set.State = EPar2SetState::BadMain;
            return;
        }
        f.SliceCount = static_cast<uint32_t>(count);
        // A slice checksum packet whose count does not fit the length is not this file's.
        const TPar2SliceChecks* found = nullptr;
        for (auto c = g.Checks.lower_bound(id); c != g.Checks.upper_bound(id) && !found; ++c)
            if (c->second->Slices.size() == count) found = c->second;
        set.MissingChecks += found == nullptr;
        checks.push_back(found);
        set.InputFiles.push_back(std::move(f));
    }
    if (set.MissingDescs > 0 || set.MissingChecks > 0) {
        set.State = EPar2SetState::Incomplete;
        return;
    }
    for (const TPar2SliceChecks* c : checks) set.Slices.insert(set.Slices.end(), c->Slices.begin(), c->Slices.end());
    set.State = EPar2SetState::Complete;
}

}  // namespace

TPar2SliceSpan TPar2Set::SliceAt(uint32_t k) const
{
    // The last file starting at or before k (an empty file starts where the next one does, so it
    // is never the last such).
    const auto after = std::upper_bound(InputFiles.begin(), InputFiles.end(), k,
                                        [](uint32_t s, const TPar2SetFile& f) { return s < f.FirstSlice; });
    const size_t f = static_cast<size_t>(after - InputFiles.begin()) - 1;
    const uint64_t offset = (k - InputFiles[f].FirstSlice) * SliceSize;
    return {f, offset, std::min(SliceSize, InputFiles[f].Length - offset)};
}

std::vector<uint32_t> TPar2Set::Exponents() const
{
    std::vector<uint32_t> exponents;
    for (const TPar2SetRecovery& r : Recoveries) exponents.push_back(r.Exponent);
    return exponents;
}

std::vector<TPar2Set> GatherPar2Sets(const std::vector<TPar2Scan>& scans)
{
    std::vector<TPar2Id> order;
    std::map<TPar2Id, TGathered> gathered;
    auto of = [&](const TPar2Id& id) -> TGathered& {
        if (!gathered.count(id)) order.push_back(id);
        return gathered[id];
    };
    for (size_t s = 0; s < scans.size(); ++s) {
        for (const TPar2Main& m : scans[s].Mains)
            if (!of(m.SetId).Main) of(m.SetId).Main = &m;
        for (const TPar2FileDesc& d : scans[s].FileDescs) of(d.SetId).Descs.emplace(d.FileId, &d);
        for (const TPar2SliceChecks& c : scans[s].SliceChecks) of(c.SetId).Checks.emplace(c.FileId, &c);
        for (const TPar2Recovery& r : scans[s].Recoveries)
            if (r.Exponent < 65535) of(r.SetId).Recoveries.emplace(r.Exponent, TPar2SetRecovery{r.Exponent, s, r});
    }
    std::vector<TPar2Set> sets;
    for (const TPar2Id& id : order) {
        const TGathered& g = gathered[id];
        TPar2Set set;
        set.Id = id;
        if (g.Main) Number(set, g);
        for (const auto& r : g.Recoveries)
            if (!g.Main || r.second.Packet.DataLength == g.Main->SliceSize) set.Recoveries.push_back(r.second);
        sets.push_back(std::move(set));
    }
    return sets;
}
