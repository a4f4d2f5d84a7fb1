// rkclassify: classifies every field value of an Rk-file as the field
// profile does and reports how many values there were, how many
// number checks they cost (scans as the C library's conversions read
// a value; the library itself is never called), how many text values needed
// one, and the time per value.
//
//   rkclassify FILE
#include <chrono>
#include <cstdio>

#include "charclass.h"
#include "record.h"

int main(int argc, char** argv) {
    runtime_init(argc, argv);
    init_character_classes();
    if (argc != 2) {
        std::fprintf(stderr, "usage: rkclassify FILE\n");
        return 2;
    }
    WStream* s = ws_open(argv[1]);
    if (!s) {
        std::fprintf(stderr, "rkclassify: can't open %s\n", argv[1]);
        return 2;
    }
    Area text, table;
    area_create_doubling(4, "rsize", &text);
    area_create_doubling(1, "tsize", &table);
    uint64_t values = 0, numeric = 0, texts = 0, text_checked = 0;
    double seconds = 0;
    while (Field* rec = read_record(s, &text, &table)) {
        auto start = std::chrono::steady_clock::now();
        for (Field* f = rec; f->start; ++f, ++values) {
            uint64_t before = classify_checks;
            if (classify_value(0, f->value, unsigned(f->end - f->value), nullptr) & ATTR_NUMERIC) {
                ++numeric;
            } else {
                ++texts;
                if (classify_checks != before) ++text_checked;
            }
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        area_reset(&table);
        area_reset(&text);
    }
    std::printf("values=%llu numeric=%llu text=%llu text_checked=%llu checks=%llu per_value=%.3f per_numeric=%.3f ns_per_value=%.1f\n",
                (unsigned long long)values, (unsigned long long)numeric, (unsigned long long)texts,
                (unsigned long long)text_checked, (unsigned long long)classify_checks,
                double(classify_checks) / double(values ? values : 1),
                double(classify_checks) / double(numeric ? numeric : 1), seconds * 1e9 / double(values ? values : 1));
    return 0;
}
