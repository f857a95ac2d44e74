// The headless tool: the engine's text on standard output byte for byte, usage errors as 2.
#include "TestSupport.h"
#include "tools/samplephone/SamplePhone.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ToolRun runTool(const TempDir& dir, const std::string& args) {
    const std::string cmd = std::string("'") + KESTROVA_PROGRAM_DIR + "/kestrova-carve' " + args +
                            " >'" + dir.file("out") + "' 2>'" + dir.file("err") + "'";
    const int rc = std::system(cmd.c_str());
    ToolRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(dir.file("out"));
    r.err = slurp(dir.file("err"));
    return r;
}

TEST(CarveTool, WritesTheEngineTextUnchanged) {
    TempDir dir;
    kestrova::samplephone::Options o;
    o.outDir = dir.file("phone");
    kestrova::samplephone::Result r;
    std::string error;
    ASSERT_TRUE(kestrova::samplephone::generate(o, r, error)) << error;
    for (const auto& [kind, type] : {std::pair{"contacts", ePaserContacts}, {"sms", ePaserSms}}) {
        SqliteParse engine(r.contactsPath, r.smsPath);
        engine.startParse(type);
        const ToolRun run =
            runTool(dir, std::string(kind) + " '" + r.contactsPath + "' '" + r.smsPath + "'");
        EXPECT_EQ(run.status, 0) << kind;
        EXPECT_EQ(run.out, engine.get_contacts_mem()) << kind;
        EXPECT_FALSE(run.out.empty()) << kind;
        EXPECT_EQ(run.err, "") << kind;
    }
}

TEST(CarveTool, NothingFoundIsAnEmptySuccess) {
    TempDir dir;
    const ToolRun run = runTool(dir, "contacts missing/contacts2.db missing/mmssms.db");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
}

TEST(CarveTool, WrongArgumentsGiveUsageAndTwo) {
    TempDir dir;
    for (const char* args :
         {"", "contacts", "contacts a b c", "calls a/contacts2.db b/mmssms.db", "--help"}) {
        const ToolRun run = runTool(dir, args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(run.out, "") << args;
        EXPECT_NE(run.err.find("usage: kestrova-carve"), std::string::npos) << args;
    }
}

} // namespace
