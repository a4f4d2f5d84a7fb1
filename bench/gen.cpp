// rkgen: writes N synthetic Rk-records to standard output.
//
//   rkgen N [seed]
//
// The output depends only on N and the seed (default 1): the generator uses
// its own splitmix64 stream and integer arithmetic only, so the same
// arguments give the same bytes on every machine and compiler.
//
// Each record has, in this order: id, name, city, price, qty, date, zero to
// two tag fields, and note; records average about 120 bytes. Names and cities
// mix plain ASCII with UTF-8 (José, Zürich, ...), exactly one city is "Tokyo",
// the tags include "alpha" and "alphabet" so that anchored patterns matter,
// and some notes carry a colon inside the value.

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <array>

namespace {

struct SplitMix64 {
    std::uint64_t state;

    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, n), n > 0 (multiply-shift; the bias is far below 2^-32).
    std::uint64_t below(std::uint64_t n) {
        return static_cast<std::uint64_t>((static_cast<unsigned __int128>(next()) * n) >> 64);
    }

    // Uniform in [lo, hi].
    std::uint64_t between(std::uint64_t lo, std::uint64_t hi) { return lo + below(hi - lo + 1); }

    // True with probability num/den.
    bool chance(std::uint64_t num, std::uint64_t den) { return below(den) < num; }
};

template <std::size_t N>
std::string_view pick(SplitMix64& rng, const std::array<std::string_view, N>& list) {
    return list[rng.below(N)];
}

constexpr std::array<std::string_view, 40> kFirstNames = {
    "José",   "Zoë",    "Łukasz", "Søren",  "Renée",   "Björn",  "Chloé",  "Jürgen",
    "Íñigo",  "Ana",    "John",   "Mary",   "Peter",   "Linda",  "James",  "Sarah",
    "David",  "Emma",   "Michael", "Olivia", "Robert", "Sophia", "Thomas", "Laura",
    "Daniel", "Anna",   "Paul",   "Julia",  "Mark",    "Nina",   "Kenji",  "Yuki",
    "Hiroshi", "Mei",   "Ahmed",  "Fatima", "Carlos",  "Lucia",  "Igor",   "Olga",
};

constexpr std::array<std::string_view, 40> kLastNames = {
    "Müller",  "Ōtsuka",   "Ærø",     "Nuñez",   "Dvořák",  "Kowalczyk", "Ångström", "Gómez",
    "Smith",   "Johnson",  "Williams", "Brown",  "Jones",   "Garcia",    "Miller",   "Davis",
    "Martin",  "Lee",      "Walker",  "Hall",    "Allen",   "Young",     "King",     "Wright",
    "Lopez",   "Hill",     "Scott",   "Green",   "Adams",   "Baker",     "Nelson",   "Carter",
    "Tanaka",  "Sato",     "Suzuki",  "Ivanov",  "Petrov",  "Rossi",     "Bianchi",  "Novak",
};

constexpr std::array<std::string_view, 20> kCities = {
    "Tokyo",  "São Paulo", "Zürich",  "Kraków",   "Malmö",   "Paris",  "London",
    "Berlin", "Madrid",    "Rome",    "New York", "Chicago", "Sydney", "Toronto",
    "Osaka",  "Lisbon",    "Vienna",  "Oslo",     "Dublin",  "Prague",
};

constexpr std::array<std::string_view, 7> kTags = {
    "alpha", "beta", "gamma", "delta", "alphabet", "epsilon", "omega",
};

constexpr std::array<std::string_view, 32> kWords = {
    "fragile", "urgent", "gift",     "wrap",   "call",    "before", "delivery", "leave",
    "at",      "door",   "back",     "order",  "paid",    "cash",   "express",  "repeat",
    "customer", "box",   "handle",   "with",   "care",    "keep",   "dry",      "invoice",
    "later",   "no",     "signature", "needed", "weekend", "only",  "second",   "floor",
};

// Notes that carry a colon inside the value, in front of a few more words.
constexpr std::array<std::string_view, 6> kColonNotes = {
    "ship to: dock", "ref: PO", "attn: desk", "time: 09:30 gate", "code: A", "re: claim",
};

constexpr int kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

class Out {
public:
    Out() { buf_.reserve(kFlush + 4096); }
    ~Out() { flush(); }

    void put(std::string_view s) { buf_.append(s); }
    void put(char c) { buf_.push_back(c); }
    void num(std::uint64_t v) {
        char tmp[24];
        auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
        buf_.append(tmp, r.ptr);
    }
    void num2(unsigned v) {  // two digits, zero padded
        buf_.push_back(static_cast<char>('0' + v / 10));
        buf_.push_back(static_cast<char>('0' + v % 10));
    }
    void maybe_flush() {
        if (buf_.size() >= kFlush) flush();
    }
    void flush() {
        if (!buf_.empty() && !failed_) {
            if (std::fwrite(buf_.data(), 1, buf_.size(), stdout) != buf_.size()) failed_ = true;
        }
        buf_.clear();
    }
    bool failed() const { return failed_; }

private:
    static constexpr std::size_t kFlush = 1 << 20;
    std::string buf_;
    bool failed_ = false;
};

void record(Out& out, SplitMix64& rng, std::uint64_t& id) {
    // Increasing ids with small gaps, as after deletions.
    id += rng.chance(1, 8) ? rng.between(2, 9) : 1;
    out.put("id:");
    out.num(id);
    out.put('\n');

    out.put("name:");
    out.put(pick(rng, kFirstNames));
    out.put(' ');
    out.put(pick(rng, kLastNames));
    out.put('\n');

    out.put("city:");
    out.put(pick(rng, kCities));
    out.put('\n');

    // Price spread over four orders of magnitude: the number of integer digits
    // is drawn first, then the value; 0.99 is the floor.
    std::uint64_t digits = rng.between(1, 4);
    std::uint64_t lo = 1;
    for (std::uint64_t i = 1; i < digits; ++i) lo *= 10;
    std::uint64_t units = digits == 1 ? rng.between(0, 9) : rng.between(lo, lo * 10 - 1);
    std::uint64_t cents = rng.below(100);
    if (units == 0 && cents < 99) cents = 99;
    out.put("price:");
    out.num(units);
    out.put('.');
    out.num2(static_cast<unsigned>(cents));
    out.put('\n');

    out.put("qty:");
    out.num(rng.between(1, 500));
    out.put('\n');

    int year = static_cast<int>(rng.between(2019, 2024));
    int month = static_cast<int>(rng.between(1, 12));
    int days = kDaysInMonth[month - 1] + (month == 2 && leap(year) ? 1 : 0);
    int day = static_cast<int>(rng.between(1, static_cast<std::uint64_t>(days)));
    out.put("date:");
    out.num(static_cast<std::uint64_t>(year));
    out.put('-');
    out.num2(static_cast<unsigned>(month));
    out.put('-');
    out.num2(static_cast<unsigned>(day));
    out.put('\n');

    // 0, 1 or 2 tags: 25%, 45%, 30%; two tags are always different.
    std::uint64_t t = rng.below(20);
    int ntags = t < 5 ? 0 : t < 14 ? 1 : 2;
    std::uint64_t first = rng.below(kTags.size());
    if (ntags >= 1) {
        out.put("tag:");
        out.put(kTags[first]);
        out.put('\n');
    }
    if (ntags == 2) {
        out.put("tag:");
        out.put(kTags[(first + rng.between(1, kTags.size() - 1)) % kTags.size()]);
        out.put('\n');
    }

    out.put("note:");
    if (rng.chance(1, 6)) {
        out.put(pick(rng, kColonNotes));
        out.put(' ');
        out.num(rng.between(1, 99));
    } else {
        std::uint64_t nwords = rng.between(3, 5);
        for (std::uint64_t i = 0; i < nwords; ++i) {
            if (i) out.put(' ');
            out.put(pick(rng, kWords));
        }
    }
    out.put('\n');

    out.put('\n');  // end of record
}

bool parse_u64(const char* s, std::uint64_t& v) {
    const char* end = s + std::strlen(s);
    if (s == end) return false;
    auto r = std::from_chars(s, end, v);
    return r.ec == std::errc() && r.ptr == end;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t n = 0, seed = 1;
    if (argc < 2 || argc > 3 || !parse_u64(argv[1], n) || (argc == 3 && !parse_u64(argv[2], seed))) {
        std::fprintf(stderr, "usage: rkgen N [seed]\n  writes N synthetic records to standard output\n");
        return 2;
    }

    SplitMix64 rng{seed};
    std::uint64_t id = 100000;
    Out out;
    for (std::uint64_t i = 0; i < n; ++i) {
        record(out, rng, id);
        out.maybe_flush();
        if (out.failed()) break;
    }
    out.flush();
    if (out.failed() || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::perror("rkgen: write error");
        return 1;
    }
    return 0;
}
