#include "RecordModel.h"
#include "ModelFixture.h"

#include <gtest/gtest.h>

namespace {

using core::RecordModel;

struct LabelCase {
    const char* data2;
    const char* phone; // expected label, null = none
    const char* email;
};

void PrintTo(const LabelCase& c, std::ostream* os) {
    *os << (c.data2 ? c.data2 : "null");
}

class TypeLabels : public ::testing::TestWithParam<LabelCase> {};

TEST_P(TypeLabels, MapCodesAsAtoiReadsThem) {
    const LabelCase& c = GetParam();
    const char* phone = core::phoneTypeLabel(c.data2);
    const char* email = core::emailTypeLabel(c.data2);
    EXPECT_STREQ(phone ? phone : "<none>", c.phone ? c.phone : "<none>");
    EXPECT_STREQ(email ? email : "<none>", c.email ? c.email : "<none>");
}

INSTANTIATE_TEST_SUITE_P(
    Codes, TypeLabels,
    ::testing::Values(LabelCase{"1", "Home", "Home Email"}, LabelCase{"2", "Mobile", "Work Email"},
                      LabelCase{"4", "WorkFax", "Mobile Email"}, LabelCase{"5", "HomeFax", nullptr},
                      LabelCase{"8", nullptr, nullptr}, LabelCase{"9", nullptr, nullptr},
                      LabelCase{"10", "CompanyMain", nullptr}, LabelCase{"12", nullptr, nullptr},
                      LabelCase{"13", "OtherFax", nullptr}, LabelCase{"20", "MMS", nullptr},
                      LabelCase{"21", nullptr, nullptr}, LabelCase{"0", nullptr, nullptr},
                      LabelCase{nullptr, nullptr, nullptr}, LabelCase{"", nullptr, nullptr},
                      LabelCase{"  2x", "Mobile", "Work Email"},
                      LabelCase{"+3", "Work", "Other Email"}, LabelCase{"-1", nullptr, nullptr},
                      LabelCase{"99999999999999", nullptr, nullptr},
                      LabelCase{"abc", nullptr, nullptr}));

TEST(RecordModel, MimetypeLookupTakesFirstEntryAndSkipsNullNames) {
    ModelLists l;
    l.mimetype(5, "duplicate id comes later");
    l.mimetype(9, nullptr);
    EXPECT_STREQ(core::findMimetype(&l.mimetypes.front(), 5), core::kPhoneMimetype);
    EXPECT_EQ(core::findMimetype(&l.mimetypes.front(), 9), nullptr);
    EXPECT_EQ(core::findMimetype(&l.mimetypes.front(), 77), nullptr);
    EXPECT_EQ(core::findMimetype(nullptr, 5), nullptr);
}

TEST(RecordModel, SummaryShowsFirstRowOfEachKindAndSkipsUnknownMimetypes) {
    ModelLists l;
    ContactRecord* ann = l.contact(10, "Ann");
    ContactRecord* nameless = l.contact(11, nullptr, 20);
    l.row(10, 99, "no such mimetype", "2"); // skipped everywhere
    l.row(10, ModelLists::Phone, "555", "2");
    l.row(11, ModelLists::Phone, "777", "1"); // another contact's row
    l.row(10, ModelLists::Phone, "666", "1"); // a later phone row never replaces the first
    l.row(10, ModelLists::Email, "ann@example.test", "1");
    l.row(10, ModelLists::Org, "Acme", "1");
    l.row(10, ModelLists::Name, "Ann Smith", nullptr);
    RecordModel m;
    l.attach(m);

    const auto s = core::contactSummary(m, ann);
    EXPECT_EQ(s.name, "Ann");
    EXPECT_EQ(s.phone, "555");
    EXPECT_EQ(s.company, "Acme");
    EXPECT_EQ(s.email, "ann@example.test");
    EXPECT_EQ(core::dataRowsOf(m.dataRowList, ann).size(), 6u);

    const auto n = core::contactSummary(m, nameless);
    EXPECT_EQ(n.name, "");
    EXPECT_EQ(n.phone, "777");
    EXPECT_EQ(n.email, "");
}

TEST(RecordModel, ExportNameNumbersOnlyContactsWithoutStructuredName) {
    ModelLists l;
    ContactRecord* ann = l.contact(1, "Ann", 40);
    ContactRecord* byPhone = l.contact(2, "555 1234", 20);
    ContactRecord* byMail = l.contact(3, "x@example.test", 10);
    int counter = 0;
    EXPECT_EQ(core::exportName(ann, counter), "Ann");
    EXPECT_EQ(core::exportName(byPhone, counter), "No Name0");
    EXPECT_EQ(core::exportName(byMail, counter), "No Name1");
    EXPECT_EQ(counter, 2);
}

struct SplitCase {
    const char* text;
    bool splits;
    const char* name;
    const char* number;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << (c.text ? c.text : "null");
}

class SplitRecovered : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitRecovered, SplitsAtFirstTab) {
    const SplitCase& c = GetParam();
    std::string buf = c.text ? c.text : "";
    ContactRecord rec{};
    rec.deleted = 1;
    rec.text = c.text ? buf.data() : nullptr;
    const auto split = core::splitRecoveredLine(&rec);
    ASSERT_EQ(split.has_value(), c.splits);
    if (split) {
        EXPECT_EQ(split->name, c.name);
        EXPECT_EQ(split->number, c.number);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, SplitRecovered,
                         ::testing::Values(SplitCase{"Bob\t555", true, "Bob", "555"},
                                           SplitCase{"Bob\t555\tx", true, "Bob", "555\tx"},
                                           SplitCase{"\t555", true, "", "555"},
                                           SplitCase{"N/A\t", true, "N/A", ""},
                                           SplitCase{"no tab", false, "", ""},
                                           SplitCase{"", false, "", ""},
                                           SplitCase{nullptr, false, "", ""}));

TEST(RecordModel, TicksCountAndChangeAcrossLiveAndRecovered) {
    RecordModel empty;
    EXPECT_EQ(empty.countTicked(), 0);

    ModelLists l;
    ContactRecord* a = l.contact(1, "A");
    l.contact(2, "B");
    RecordModel m;
    l.attach(m);
    m.addRecovered(0, "C\t1");
    m.addRecovered(1, "no tab");
    EXPECT_EQ(m.countTicked(), 2); // recovered records start ticked, live ones as read

    m.setAllTicked(1);
    EXPECT_EQ(m.countTicked(), 4);
    EXPECT_TRUE(m.setChecked(a, 0));
    EXPECT_TRUE(m.setChecked(m.recoveredContacts[1], 0));
    EXPECT_EQ(m.countTicked(), 2);
    ContactRecord stranger{};
    EXPECT_FALSE(m.setChecked(&stranger, 1));
    EXPECT_EQ(m.countTicked(), 2);

    m.contactResultText = "C\t1\r\n";
    m.clearRecords();
    EXPECT_EQ(m.countTicked(), 0);
    EXPECT_EQ(m.contactList, nullptr);
    EXPECT_EQ(m.mimetypeList, nullptr);
    EXPECT_TRUE(m.recoveredContacts.empty());
    EXPECT_EQ(m.contactResultText, "C\t1\r\n"); // the texts stay
}

TEST(RecordModel, RecoveredRecordCopiesItsLine) {
    RecordModel m;
    std::string line = "A\t1";
    ContactRecord* r = m.addRecovered(7, line);
    line[0] = 'Z';
    EXPECT_EQ(r->id, 7);
    EXPECT_EQ(r->checked, 1);
    EXPECT_EQ(r->deleted, 1);
    EXPECT_EQ(r->next, nullptr);
    EXPECT_EQ(r->nameSource, 0);
    EXPECT_STREQ(r->text, "A\t1");
}

} // namespace
