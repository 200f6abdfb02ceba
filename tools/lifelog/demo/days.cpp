// The generator of believable days.
#include "demo/days.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <set>

#include "demo/phone_book.h"

namespace lifelog_tool {

namespace {

// splitmix64: small, fast, and the same sequence on every machine (the
// standard library's distributions are not).
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
    bool chance(double p) { return unit() < p; }
    template <typename T, size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[static_cast<size_t>(below(static_cast<int>(N)))];
    }
    // An index drawn by weight.
    template <size_t N>
    size_t weighted(const std::array<int, N>& weights) {
        int total = 0;
        for (int w : weights) {
            total += w;
        }
        int draw = below(total);
        for (size_t i = 0; i < N; ++i) {
            if (draw < weights[i]) {
                return i;
            }
            draw -= weights[i];
        }
        return N - 1;
    }

private:
    uint64_t state_;
};

// The phone book, the most frequent first; work contacts call in working
// hours on weekdays, the others morning, lunch and evening.
struct Person {
    Contact contact;
    bool work;
    int callWeight;
    int messageWeight;
    int language;  // index into kTexts
};

enum { kEnglish, kGerman, kFrench, kSpanish, kPolish, kJapanese };

constexpr std::array<Person, 10> kPeople = {{
    {{"+447700900123", "Mum"}, false, 30, 22, kEnglish},
    {{"+447700900456", "Sam"}, false, 22, 40, kEnglish},
    {{"+447700900789", "Alex"}, true, 18, 12, kEnglish},
    {{"+4915112345678", "Jürgen Weiß"}, true, 12, 4, kGerman},
    {{"+33612345678", "Zoé Lefèvre"}, false, 5, 14, kFrench},
    {{"+34612345678", "José Núñez"}, false, 4, 9, kSpanish},
    {{"+48501234567", "Łucja Wójcik"}, true, 5, 5, kPolish},
    {{"+819012345678", "佐藤 花子"}, false, 2, 6, kJapanese},
    {{"+442079460018", "Dentist"}, false, 1, 1, kEnglish},
    {{"+447700900321", "Oli"}, false, 3, 5, kEnglish},
}};

constexpr std::array<std::array<const char*, 6>, 6> kTexts = {{
    {"Running late, 10 min", "Dinner at 8?", "Call you later", "Thanks! 👍",
     "Did you see the match?", "Home safe x"},
    {"Bin gleich da", "Können wir morgen telefonieren?", "Schönes Wochenende!", "Danke dir 🙂",
     "Besprechung um 14 Uhr", "Grüße aus München"},
    {"On se voit ce soir ?", "Je suis en retard, désolée", "Bonne journée ☀️", "Merci !",
     "Ça marche", "À demain"},
    {"¿Cenamos juntos?", "Llego en cinco minutos", "¡Feliz cumpleaños! 🎉", "Gracias",
     "Mañana te llamo", "Qué tal el viaje?"},
    {"Dzięki, do jutra", "Spóźnię się trochę", "Zadzwonię wieczorem", "Świetnie!",
     "Spotkanie przesunięte", "Miłego dnia"},
    {"了解です", "また明日！", "ありがとう🙏", "今どこ？", "電車が遅れています", "おやすみなさい"},
}};

struct Play {
    int type;  // 0 audio, 1 video
    const char* title;
    const char* artist;
    const char* album;
    const char* category;
    const char* uri;
    int seconds;
};

constexpr std::array<Play, 10> kPlays = {{
    {0, "The Morning Brief", "City Radio", "The Morning Brief", "Podcast",
     "file:///Music/Podcasts/brief.mp3", 1500},
    {0, "Für Elise", "Ludwig van Beethoven", "Bagatellen", "Classical",
     "file:///Music/Beethoven/fur-elise.flac", 175},
    {0, "La Vie en rose", "Édith Piaf", "La Vie en rose", "Chanson",
     "file:///Music/Piaf/la-vie-en-rose.mp3", 185},
    {0, "Bésame mucho", "Consuelo Velázquez", "Boleros", "Latin",
     "file:///Music/Boleros/besame-mucho.mp3", 200},
    {0, "Here Comes the Sun", "The Beatles", "Abbey Road", "Pop", "file:///Music/Beatles/sun.mp3",
     185},
    {0, "Blackbird", "The Beatles", "The Beatles", "Pop", "file:///Music/Beatles/blackbird.mp3",
     138},
    {0, "Clair de lune", "Claude Debussy", "Suite bergamasque", "Classical",
     "file:///Music/Debussy/clair-de-lune.flac", 301},
    {0, "Tech Talk Weekly", "Byte FM", "Tech Talk Weekly", "Podcast",
     "file:///Music/Podcasts/tech-talk.mp3", 2400},
    {1, "The Secret Life of Owls", "Wildlife Films", nullptr, "Documentary",
     "file:///Videos/owls.mp4", 2640},
    {1, "Kochen mit Öl und Gewürzen", "Küchenkanal", nullptr, "Cooking",
     "file:///Videos/kochen.mp4", 1260},
}};

// Relative weight of each hour of the day for an activity.
using HourWeights = std::array<int, 24>;
//                              0  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15 16 17 18 19 20 21 22
//                              23
constexpr HourWeights kWorkHours{0, 0, 0, 0,  0, 0, 0, 1, 4, 9, 10, 9,
                                 4, 6, 9, 10, 8, 4, 1, 0, 0, 0, 0,  0};
constexpr HourWeights kPrivateWeekday{0, 0, 0, 0, 0, 0, 1, 5, 4, 1, 1, 1,
                                      5, 3, 1, 1, 1, 3, 6, 9, 9, 7, 4, 1};
constexpr HourWeights kPrivateWeekend{1, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 6,
                                      6, 5, 5, 6, 6, 6, 7, 8, 8, 7, 5, 3};
constexpr HourWeights kMediaWeekday{0, 0, 0, 0, 0, 0, 2, 9, 8, 1, 0, 0,
                                    3, 2, 0, 0, 1, 4, 6, 5, 6, 8, 7, 3};
constexpr HourWeights kMediaWeekend{1, 0, 0, 0, 0, 0, 0, 0, 1, 3, 5, 5,
                                    4, 3, 4, 5, 5, 4, 4, 6, 8, 8, 6, 4};

Cell cellAt(bool weekend, int hour, bool work) {
    if (!weekend && work && hour >= 9 && hour < 18) {
        return kOffice;
    }
    if (hour < 8 || hour >= 20) {
        return kHome;
    }
    return weekend || hour == 8 || hour >= 17 ? kTown : kOffice;
}

class DayMaker {
public:
    DayMaker(Random& random, std::chrono::year_month_day date, bool weekend,
             std::vector<Activity>& out)
        : random_(random), date_(date), weekend_(weekend), out_(out) {}

    void call() {
        const Person& person = this->person(true);
        auto [time, hour] = second(KindId::Call, hoursOf(person));
        Activity a = base(KindId::Call, time, hour, person.work);
        a.number = person.contact.number;
        int way = static_cast<int>(random_.weighted(std::array<int, 3>{45, 40, 15}));
        a.direction = way;
        if (way == 2 || (way == 1 && random_.chance(0.08))) {
            a.duration = 0;
        } else {
            double mean = person.work ? 240.0 : 420.0;
            double drawn = -std::log(1.0 - random_.unit()) * mean;
            a.duration = std::clamp(static_cast<int>(drawn), 8, 5400);
        }
        out_.push_back(std::move(a));
    }

    void message() {
        const Person& person = this->person(false);
        auto [time, hour] = second(KindId::Message, hoursOf(person));
        Activity a = base(KindId::Message, time, hour, person.work);
        a.number = person.contact.number;
        a.direction = random_.below(2);
        a.text = random_.pick(kTexts[static_cast<size_t>(person.language)]);
        out_.push_back(std::move(a));
    }

    void media() {
        auto [time, hour] = second(KindId::Media, weekend_ ? kMediaWeekend : kMediaWeekday);
        Activity a = base(KindId::Media, time, hour, false);
        const Play& play = random_.pick(kPlays);
        a.type = play.type;
        a.title = play.title;
        a.artist = play.artist != nullptr ? play.artist : "";
        a.album = play.album != nullptr ? play.album : "";
        a.category = play.category;
        a.uri = play.uri;
        a.playTime = random_.chance(0.7) ? play.seconds : std::max(10, random_.below(play.seconds));
        out_.push_back(std::move(a));
    }

private:
    const Person& person(bool forCall) {
        std::array<int, kPeople.size()> weights{};
        for (size_t i = 0; i < kPeople.size(); ++i) {
            const Person& p = kPeople[i];
            int weight = forCall ? p.callWeight : p.messageWeight;
            weights[i] = weekend_ && p.work ? weight / 6 : weight;
        }
        return kPeople[random_.weighted(weights)];
    }

    const HourWeights& hoursOf(const Person& person) const {
        if (weekend_) {
            return kPrivateWeekend;
        }
        return person.work ? kWorkHours : kPrivateWeekday;
    }

    // A second of the day that no activity of the kind holds yet.
    std::pair<std::string, int> second(KindId kind, const HourWeights& hours) {
        for (;;) {
            int hour = static_cast<int>(random_.weighted(hours));
            int minute = random_.below(60);
            int second = random_.below(60);
            int at = hour * 3600 + minute * 60 + second;
            if (used_[static_cast<size_t>(kind)].insert(at).second) {
                DateTime time{static_cast<int>(date_.year()),
                              static_cast<int>(static_cast<unsigned>(date_.month())),
                              static_cast<int>(static_cast<unsigned>(date_.day())),
                              hour,
                              minute,
                              second,
                              0};
                return {formatTime(time), hour};
            }
        }
    }

    Activity base(KindId kind, const std::string& time, int hour, bool work) const {
        return activityIn(kind, time, cellAt(weekend_, hour, work));
    }

    Random& random_;
    std::chrono::year_month_day date_;
    bool weekend_;
    std::vector<Activity>& out_;
    std::array<std::set<int>, 3> used_;
};

}  // namespace

std::vector<Activity> generateDays(const DateTime& last, int days, uint64_t seed) {
    using namespace std::chrono;
    Random random(seed);
    std::vector<Activity> all;
    sys_days lastDay{year{last.year} / month{static_cast<unsigned>(last.month)} /
                     day{static_cast<unsigned>(last.day)}};
    for (int back = days; back >= 1; --back) {
        sys_days today = lastDay - std::chrono::days{back};
        weekday wd{today};
        bool weekend = wd == Saturday || wd == Sunday;
        std::vector<Activity> day;
        DayMaker maker(random, year_month_day{today}, weekend, day);
        int calls = weekend ? random.between(2, 5) : random.between(5, 10);
        int messages = weekend ? random.between(10, 20) : random.between(7, 15);
        int plays = weekend ? random.between(4, 8) : random.between(2, 5);
        for (int i = 0; i < calls; ++i) {
            maker.call();
        }
        for (int i = 0; i < messages; ++i) {
            maker.message();
        }
        for (int i = 0; i < plays; ++i) {
            maker.media();
        }
        std::stable_sort(day.begin(), day.end(),
                         [](const auto& a, const auto& b) { return a.time < b.time; });
        all.insert(all.end(), day.begin(), day.end());
    }
    return all;
}

std::span<const Contact> demoContacts() {
    static const std::array<Contact, kPeople.size()> contacts = [] {
        std::array<Contact, kPeople.size()> list{};
        for (size_t i = 0; i < kPeople.size(); ++i) {
            list[i] = kPeople[i].contact;
        }
        return list;
    }();
    return contacts;
}

}  // namespace lifelog_tool
