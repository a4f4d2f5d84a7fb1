// The merged order of names against a plain list that follows the rule
// word for word, on random records: small pools of names (many moves),
// large ones (long lists, insertions in runs at one place).
#include "nameorder.h"

#include <algorithm>
#include <random>

#include "unit_util.h"

namespace {

// Never freed, as in the programs; reachable to the end, so no leak.
NameOrder order;

TEST(NameOrder, MergesAsThePlainRuleDoes) {
    std::mt19937 rng(30);
    for (int round = 0; round < 60; ++round) {
        name_order_clear(&order);
        std::vector<std::wstring> plain;
        int pool = round % 3 == 0 ? 4 : round % 3 == 1 ? 30 : 600;
        int records = round % 3 == 2 ? 5 : 80;
        for (int r = 0; r < records; ++r) {
            name_order_next_record(&order);
            std::vector<std::wstring> fields;
            int n = int(rng() % (pool < 100 ? 12 : 2 * pool));
            for (int k = 0; k < n; ++k) fields.push_back(L"n" + std::to_wstring(rng() % pool));
            if (r % 5 == 4) std::reverse(fields.begin(), fields.end());
            std::vector<std::wstring> met;
            int cursor = -1;  // index in plain
            for (const std::wstring& f : fields) {
                int mark;
                int32_t node = name_order_take(&order, f.data(), f.size(), &mark);
                ASSERT_EQ(std::wstring(name_order_name(&order, node)), f);
                if (std::find(met.begin(), met.end(), f) != met.end()) {
                    ASSERT_EQ(mark, NAME_MET);
                    continue;
                }
                met.push_back(f);
                int at = int(std::find(plain.begin(), plain.end(), f) - plain.begin());
                int want;
                if (at < int(plain.size()) && at > cursor) {
                    want = NAME_STAYED;
                    cursor = at;
                } else {
                    want = at < int(plain.size()) ? NAME_MOVED : NAME_NEW;
                    if (at < int(plain.size())) {
                        plain.erase(plain.begin() + at);
                        if (at < cursor) --cursor;
                    }
                    plain.insert(plain.begin() + (cursor + 1), f);
                    ++cursor;
                }
                ASSERT_EQ(mark, want) << "round " << round << " record " << r;
            }
            std::vector<std::wstring> listed;
            uint64_t label = 0;
            for (int32_t i = order.first; i >= 0; i = order.nodes[i].next) {
                listed.emplace_back(name_order_name(&order, i));
                ASSERT_GT(order.nodes[i].label, label);  // labels grow along the list
                label = order.nodes[i].label;
            }
            ASSERT_EQ(listed, plain) << "round " << round << " record " << r;
        }
    }
}

}  // namespace
