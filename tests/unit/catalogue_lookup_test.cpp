// What the integrators ask the catalogue: values by wildcard, ids by mode
// and by configuration member, the nearest id to a typo, and the
// `smdhost signals` output in both formats.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>

#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/signals_command.hpp"

namespace {

using smdcatalogue::Catalogue;
using smdcatalogue::IdUse;
using smdcatalogue::NameFilter;

std::vector<std::string> names(const std::vector<const smdcatalogue::ValueEntry*>& values) {
    std::vector<std::string> out;
    for (const auto* v : values) out.push_back(v->name);
    return out;
}

TEST(CatalogueLookup, WildcardsSelectValuesInRecordOrderAndReportUnmatchedPatterns) {
    const Catalogue& c = Catalogue::get();
    std::vector<std::string> unmatched;
    const auto picked = names(c.select_values(NameFilter(" dc.*.voltage, rect.*.current,dc.*.votage"),
                                              &unmatched));
    ASSERT_EQ(picked.size(), 42u);
    EXPECT_EQ(picked.front(), "rect.1.current");
    EXPECT_EQ(picked[39], "rect.40.current");
    EXPECT_EQ(picked[40], "dc.1.voltage");
    EXPECT_EQ(picked.back(), "dc.2.voltage");
    EXPECT_EQ(unmatched, std::vector<std::string>{"dc.*.votage"});

    EXPECT_EQ(names(c.select_values(NameFilter("ac.?.a"))),
              (std::vector<std::string>{"ac.1.a", "ac.2.a"}));
    EXPECT_EQ(c.select_values(NameFilter("")).size(), c.values().size());
    // Fewer segments select the branch below.
    EXPECT_EQ(c.select_values(NameFilter("rect.12")).size(), 16u);
    EXPECT_EQ(c.select_values(NameFilter("rect.*")).size(), 642u);
    EXPECT_EQ(c.nearest_value_name("dc.1.votlage"), "dc.1.voltage");
}

TEST(CatalogueLookup, IdsByModeAndUseAndTheNearestToATypo) {
    const Catalogue& c = Catalogue::get();
    // The mains-cut alarm of mode 2 is graded by "levels"; a digit lost.
    EXPECT_EQ(c.nearest_id("22060014001", IdUse::level, 2), "220600140010");
    EXPECT_TRUE(c.knows_id("220600140010", IdUse::level, 2));
    EXPECT_FALSE(c.knows_id("220600140010", IdUse::level, 1));
    EXPECT_FALSE(c.knows_id("22060014001"));
    EXPECT_EQ(c.nearest_id("not an id at all"), "");
    // In mode 1 only the communication alarm takes its level from the map.
    EXPECT_EQ(c.ids(IdUse::level, 1), std::vector<std::string>{"120600180010"});
    // Report settings: report ids and the templates they are copied from.
    EXPECT_TRUE(c.knows_id("419110200001", IdUse::report, 1));
    EXPECT_TRUE(c.knows_id("419610401001", IdUse::report, 1));
    EXPECT_FALSE(c.knows_id("419110200001", IdUse::report, 2));
    // Thresholds: the mode-1 checks and the mode-2 rules that read the map.
    EXPECT_TRUE(c.knows_id("419620301002", IdUse::threshold, 1));
    EXPECT_TRUE(c.knows_id("220600160010", IdUse::threshold, 2));
    EXPECT_FALSE(c.knows_id("220600120010", IdUse::threshold, 2));  // fixed limit of 280 V
    // Per-instance ids up to the capacities; the second screen's fuse ids
    // go on at 019, so they overlap the first screen's.
    EXPECT_EQ(c.find_alarms("120600690400").size(), 1u);
    EXPECT_TRUE(c.find_alarms("120600690410").empty());
    EXPECT_EQ(c.find_alarms("120600470190").size(), 2u);
    EXPECT_EQ(c.find_alarms("120600470600").size(), 1u);
    // Several rules share one id.
    EXPECT_EQ(c.find_alarms("419415001").size(), 1u + 3u * 2u);
    for (const auto& e : c.alarms())
        EXPECT_FALSE(e.description.empty() || e.when_text.empty() || e.rule_set.empty()) << e.id;
}

TEST(CatalogueLookup, SignalsCommandPrintsJsonLinesAndText) {
    std::ostringstream out, err;
    smdcatalogue::SignalsOptions o;
    o.format = smdcatalogue::SignalsOptions::Format::json;
    o.mode = 2;
    o.filter = "dc.2.voltage,22060014*";
    ASSERT_EQ(smdcatalogue::run_signals(o, out, err), 0) << err.str();
    std::istringstream lines(out.str());
    std::vector<Json::Value> docs;
    for (std::string line; std::getline(lines, line);) {
        Json::Value v;
        ASSERT_TRUE(Json::Reader().parse(line, v)) << line;
        docs.push_back(v);
    }
    // The value first, then the mains-cut alarm and the three alarms on
    // that voltage.
    ASSERT_EQ(docs.size(), 5u);
    EXPECT_EQ(docs[0]["kind"], "value");
    EXPECT_EQ(docs[0]["unit"], "V");
    EXPECT_EQ(docs[0]["offset"].asInt(), 1057);
    EXPECT_EQ(docs[0]["type"], "f32");
    EXPECT_EQ(docs[1]["id"], "220600140010");
    EXPECT_EQ(docs[1]["key"], "220600140010");
    EXPECT_EQ(docs[1]["level"], "host.levels");
    EXPECT_EQ(docs[1]["text2"], "001#48V直流系统交流输入停电告警");
    EXPECT_EQ(docs[1]["text1"].asString().rfind("ua1:{ac.1.a} ", 0), 0u);
    EXPECT_EQ(docs[4]["id"], "210600340020");
    EXPECT_EQ(docs[4]["text1"], "{dc.2.voltage}");
    EXPECT_EQ(docs[4]["reads_threshold"], true);

    std::ostringstream text;
    o.format = smdcatalogue::SignalsOptions::Format::text;
    o.filter = "rect.7.*";
    ASSERT_EQ(smdcatalogue::run_signals(o, text, err), 0);
    EXPECT_NE(text.str().find("rect.7.current"), std::string::npos);
    EXPECT_NE(text.str().find("120600690070  alarm"), std::string::npos);  // its mode-2 run alarm
    EXPECT_EQ(text.str().find("419430501007"), std::string::npos);         // mode 1 only

    std::ostringstream none, why;
    o.filter = "22060014001";
    EXPECT_EQ(smdcatalogue::run_signals(o, none, why), 1);
    EXPECT_EQ(none.str(), "");
    EXPECT_NE(why.str().find("did you mean 220600140010?"), std::string::npos) << why.str();
}

}  // namespace
