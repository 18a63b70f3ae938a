#include "compare/EventComparison.h"

#include <algorithm>
#include <vector>

namespace {

class LogComparison {
public:
    LogComparison(const EventLog& a, const EventLog& b, CaseFolding& folding)
        : a(a), b(b), folding(folding) {}

    bool run() {
        const auto& x = a.events();
        const auto& y = b.events();
        if (x.size() != y.size()) return false;
        for (std::size_t i = 0; i < x.size(); ++i) {
            if (!same(x[i], y[i])) return false;
            if (x[i].kind == EventLog::ElementStart) {
                if (!attributesEqual(i + 1, x[i].count)) return false;
                i += x[i].count;
            }
        }
        return true;
    }

private:
    bool equal(const XMLCh* p, const XMLCh* q) { return folding.equal(p, q); }

    bool same(const EventLog::Event& p, const EventLog::Event& q) {
        if (p.kind != q.kind) return false;
        switch (p.kind) {
            case EventLog::ElementStart:
                return p.count == q.count && equal(a.name(p), b.name(q));
            case EventLog::Text:
            case EventLog::Cdata:
            case EventLog::Comment:
                return equal(a.value(p), b.value(q));
            case EventLog::Instruction:
                return equal(a.name(p), b.name(q)) && equal(a.value(p), b.value(q));
            case EventLog::EntityStart:
                return equal(a.name(p), b.name(q));
            default:
                return true;
        }
    }

    bool attributeEqual(const EventLog::Event& p, const EventLog::Event& q) {
        return equal(a.name(p), b.name(q)) && equal(a.value(p), b.value(q));
    }

    // Same positions first, the usual case; otherwise paired by name whatever the order.
    bool attributesEqual(std::size_t from, std::uint32_t count) {
        const auto& x = a.events();
        const auto& y = b.events();
        std::uint32_t i = 0;
        while (i < count && attributeEqual(x[from + i], y[from + i])) ++i;
        if (i == count) return true;
        if (!folding.trusted()) return pairGreedily(from, count);
        const auto sorted = [&](const EventLog& log, const std::vector<EventLog::Event>& events) {
            std::vector<std::pair<const XMLCh*, const XMLCh*>> out;
            for (std::uint32_t k = 0; k < count; ++k)
                out.emplace_back(log.name(events[from + k]), log.value(events[from + k]));
            std::sort(out.begin(), out.end(), [&](const auto& l, const auto& r) {
                const int byName = folding.compare(l.first, r.first);
                if (byName != 0) return byName < 0;
                return folding.compare(l.second, r.second) < 0;
            });
            return out;
        };
        const auto left = sorted(a, x);
        const auto right = sorted(b, y);
        for (std::uint32_t k = 0; k < count; ++k) {
            if (!folding.equal(left[k].first, right[k].first) ||
                !folding.equal(left[k].second, right[k].second))
                return false;
        }
        return true;
    }

    // Equality ignoring case is an equivalence, so taking the first free partner never fails
    // where another choice would succeed.
    bool pairGreedily(std::size_t from, std::uint32_t count) {
        const auto& x = a.events();
        const auto& y = b.events();
        std::vector<bool> used(count, false);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t j = 0;
            while (j < count && (used[j] || !attributeEqual(x[from + i], y[from + j]))) ++j;
            if (j == count) return false;
            used[j] = true;
        }
        return true;
    }

    const EventLog& a;
    const EventLog& b;
    CaseFolding& folding;
};

}  // namespace

bool eventLogsEqual(const EventLog& a, const EventLog& b, CaseFolding& folding) {
    return LogComparison(a, b, folding).run();
}
