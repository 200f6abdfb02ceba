// The API's people.
#include "web/people_api.h"

#include <map>

#include "base/text.h"
#include "people/grouping.h"
#include "people/naming.h"

namespace lifelog_tool {

namespace {

nlohmann::ordered_json personJson(const Person& person) {
    nlohmann::ordered_json numbers = nlohmann::ordered_json::array();
    for (const StoredNumber& number : person.numbers) {
        numbers.push_back({{"number", number.written}, {"identity", number.identity}});
    }
    return {{"id", person.id},
            {"key", personKey(person.id)},
            {"name", person.name},
            {"numbers", numbers}};
}

// One kind's activity of a person: count, talk time, first and last time
// stamp, per day, and the numbers as logged with their counts.
struct Activity {
    int64_t count = 0;
    int64_t seconds = 0;
    std::string first;
    std::string last;
    std::map<std::string, std::pair<int64_t, int64_t>> days;  // day -> count, seconds
    std::vector<std::pair<std::string, int64_t>> numbers;
};

// The numbers of the kind's rows that stand for `key`, as logged.
std::vector<std::pair<std::string, int64_t>> numbersOf(Directory& people, const Kind& kind,
                                                       const std::string& key) {
    Query all(kind, Range{});
    std::vector<std::pair<std::string, int64_t>> mine;
    for (const auto& [number, count] : numberCounts(all)) {
        if (people.who(number).key == key) {
            mine.emplace_back(number, count);
        }
    }
    return mine;
}

Activity activityOf(Directory& people, const Kind& kind, const std::string& key) {
    Activity activity;
    activity.numbers = numbersOf(people, kind, key);
    if (activity.numbers.empty()) {
        return activity;
    }
    Query query(kind, Range{});
    query.where(numbersCondition(kind, activity.numbers));
    query.forEach([&](const Row& row) {
        std::string time = row.timeText();
        int64_t seconds = kind.id == KindId::Call ? row.number("CLOG_DURATION") : 0;
        auto& day = activity.days[time.substr(0, 10)];
        ++day.first;
        day.second += seconds;
        ++activity.count;
        activity.seconds += seconds;
        activity.first = activity.first.empty() ? time : std::min(activity.first, time);
        activity.last = std::max(activity.last, time);
        return true;
    });
    return activity;
}

nlohmann::ordered_json activityJson(const Activity& activity, bool calls) {
    nlohmann::ordered_json days = nlohmann::ordered_json::array();
    for (const auto& [day, tally] : activity.days) {
        days.push_back(calls ? nlohmann::ordered_json{{"day", day},
                                                      {"count", tally.first},
                                                      {"seconds", tally.second}}
                             : nlohmann::ordered_json{{"day", day}, {"count", tally.first}});
    }
    nlohmann::ordered_json numbers = nlohmann::ordered_json::array();
    for (const auto& [number, count] : activity.numbers) {
        numbers.push_back({{"number", number}, {"count", count}});
    }
    nlohmann::ordered_json body = {{"count", activity.count}};
    if (calls) {
        body["seconds"] = activity.seconds;
    }
    body["first"] = activity.first.empty() ? nullptr : nlohmann::ordered_json(activity.first);
    body["last"] = activity.last.empty() ? nullptr : nlohmann::ordered_json(activity.last);
    body["numbers"] = numbers;
    body["days"] = days;
    return body;
}

// The person of an ID: their id (or key, "person:ID"), else a number however written.
Who whoOf(Directory& people, const std::string& id) {
    constexpr std::string_view kPrefix = "person:";
    std::string_view digits = std::string_view(id).starts_with(kPrefix)
                                  ? std::string_view(id).substr(kPrefix.size())
                                  : std::string_view(id);
    std::optional<int64_t> number = wholeNumber<int64_t>(digits);
    if (number && people.person(*number) != nullptr) {
        return Who{personKey(*number), people.person(*number)->name, *number};
    }
    return people.who(id);
}

ApiAnswer onePerson(const std::string& id) {
    Directory people;
    Who who = whoOf(people, id);
    Activity calls = activityOf(people, kindOf(KindId::Call), who.key);
    Activity messages = activityOf(people, kindOf(KindId::Message), who.key);
    nlohmann::ordered_json body = {
        {"key", who.key},
        {"id", who.person != 0 ? nlohmann::ordered_json(who.person) : nullptr},
        {"name", who.name.empty() ? nullptr : nlohmann::ordered_json(who.name)}};
    if (const Person* person = people.person(who.person)) {
        body["stored"] = personJson(*person)["numbers"];
    }
    body["calls"] = activityJson(calls, true);
    body["messages"] = activityJson(messages, false);
    return {200, body};
}

}  // namespace

ApiAnswer answerPeople(std::string_view rest) {
    try {
        if (!rest.empty()) {
            return onePerson(std::string(rest));
        }
        Directory people;
        nlohmann::ordered_json everyone = nlohmann::ordered_json::array();
        for (const Person& person : people.people()) {
            everyone.push_back(personJson(person));
        }
        return {200, {{"region", people.region()}, {"people", everyone}}};
    } catch (const Failure& failure) {
        return {failure.code() == ZBASE_E_FILE_NOT_FOUND ? 404 : 500, {{"error", failure.what()}}};
    } catch (const std::exception& failure) {
        return {500, {{"error", failure.what()}}};
    }
}

nlohmann::ordered_json topByPerson(Query& query, int n) {
    Directory people;
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (const PersonCount& person :
         countByPerson(people, numberCounts(query), static_cast<size_t>(n))) {
        const std::string& shown =
            person.who.name.empty() ? person.numbers.front() : person.who.name;
        values.push_back(
            {{"key", person.who.key},
             {"name", person.who.name.empty() ? nullptr : nlohmann::ordered_json(person.who.name)},
             {"value", shown},
             {"numbers", person.numbers},
             {"count", person.count}});
    }
    return values;
}

}  // namespace lifelog_tool
