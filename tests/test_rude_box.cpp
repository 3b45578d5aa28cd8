// The link against a box whose TCP stream is cut wherever the network cuts it.

#include "LinkFixture.h"

#include <SimDiagnostics.h>
#include <StringTable.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

using namespace quillon;
using namespace quillon::test;
using namespace std::chrono_literals;

namespace {

std::string tempPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("quillon-rude-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string withCrLf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// The padded plaintext of the whole bulk stream, put back together from the pieces the box sent.
std::string streamPlain(const std::vector<sim::SimPiece>& pieces)
{
    std::string plain;
    for (const auto& p : pieces) {
        if (p.stream)
            plain += p.plain;
    }
    return plain;
}

class RudeBox : public LinkFixture {
protected:
    explicit RudeBox(sim::SimOptions options = testBoxOptions()) : LinkFixture(std::move(options)) {}
    void SetUp() override
    {
        setUiLanguage(LanguageEnglish);
        LinkFixture::SetUp();
    }
    void TearDown() override
    {
        LinkFixture::TearDown();
        std::filesystem::remove(paramsFile);
        setUiLanguage(LanguageChinese);
    }
    void cut(sim::SimFaults faults)
    {
        faults.recordPieces = true;
        box.setFaults(faults);
        box.clearPieces();
    }
    // An information read that must come out whole and right.
    void expectWholeInfo()
    {
        auto info = runAs<ResSTBInfo>(ReqSTBInfo());
        ASSERT_TRUE(info);
        EXPECT_EQ(info->status, STA_OK) << info->message;
        EXPECT_EQ(info->stbModel, box.value("STB_model"));
        EXPECT_EQ(info->chipId, box.value("ChipId"));
        EXPECT_EQ(info->mainHomepageUrl, box.value("Main_HomepageUrl"));
    }
    std::string exportParams()
    {
        ReqExportParams request;
        request.fileName = paramsFile;
        auto r = run(request);
        EXPECT_TRUE(r && r->status == STA_OK) << (r ? r->message : "no response");
        return readFile(paramsFile);
    }
    std::string expectedParamsFile() { return withCrLf("[stb]\n" + box.paramListText()); }

    std::string paramsFile = tempPath("params.txt");
};

} // namespace

TEST_F(RudeBox, RepliesInThreeToSevenPiecesAtRandomOffsets)
{
    ASSERT_TRUE(connect());
    for (int pieces = 3; pieces <= 7; ++pieces) {
        SCOPED_TRACE(pieces);
        sim::SimFaults faults;
        faults.replyPieces = pieces;
        faults.cutSeed = static_cast<unsigned>(pieces * 7919);
        cut(faults);
        expectWholeInfo();
    }
    // The box really cut them, also on block boundaries (which a reader of whole blocks would
    // otherwise take for the end of the reply).
    size_t onBoundary = 0;
    for (const auto& p : box.sentPieces())
        onBoundary += (!p.stream && p.begin > 0 && p.begin % 16 == 0) ? 1 : 0;
    EXPECT_GT(onBoundary, 0u);
}

TEST_F(RudeBox, RepliesCutAtChosenOffsets)
{
    ASSERT_TRUE(connect());
    const std::vector<std::vector<size_t>> cutSets = {
        {1}, {15}, {16}, {17}, {16, 32}, {1, 2, 3}, {8, 16, 24, 40}, {31, 32, 33}};
    for (const auto& cuts : cutSets) {
        SCOPED_TRACE(::testing::PrintToString(cuts));
        sim::SimFaults faults;
        faults.replyCuts = cuts;
        cut(faults);
        expectWholeInfo();
        const auto pieces = box.sentPieces();
        ASSERT_FALSE(pieces.empty());
        EXPECT_EQ(pieces.front().end, cuts.front());
    }
}

TEST_F(RudeBox, HandshakeAnswerInPieces)
{
    for (const std::vector<size_t>& cuts : std::vector<std::vector<size_t>>{{5, 128}, {130, 131, 140, 150}, {141}}) {
        SCOPED_TRACE(::testing::PrintToString(cuts));
        sim::SimFaults faults;
        faults.replyCuts = cuts;
        cut(faults);
        ASSERT_TRUE(connect());
        // The tail of the handshake answer must not be taken for the first reply.
        expectWholeInfo();
        run(ReqDisConnect());
        // The box takes the next client once it has seen this one go.
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        while (box.clientCount() > 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
    }
}

TEST_F(RudeBox, StreamSegmentsEndingOnEveryByteFromOneToSixteen)
{
    ASSERT_TRUE(connect());
    // A value holding runs of p bytes of value p, for p from 1 to 16, each run once at every
    // offset within a block: some of them end on a block boundary, where the box cuts a segment.
    // A run there looks exactly like padding, yet it is data.
    std::string value;
    for (int p = 1; p <= 16; ++p) {
        for (int shift = 0; shift < 16; ++shift)
            value += std::string(static_cast<size_t>(p), static_cast<char>(p)) + std::string(17 - p, 'v');
    }
    box.setValue("ManagementDomain", value);
    sim::SimFaults faults;
    faults.streamCutAfterSmallBytes = true;
    cut(faults);
    EXPECT_EQ(exportParams(), expectedParamsFile());

    // What the box sent: segments that end on each of the bytes 1 to 16, line feeds among them.
    std::set<int> endings;
    for (const auto& piece : box.sentPieces()) {
        if (piece.stream && piece.end % 16 == 0 && piece.end < streamPlain(box.sentPieces()).size())
            endings.insert(static_cast<uint8_t>(piece.plain.back()));
    }
    for (int p = 1; p <= 16; ++p)
        EXPECT_TRUE(endings.count(p)) << "no segment ended on byte " << p;
}

TEST_F(RudeBox, ChannelListSegmentsEndingOnLineFeeds)
{
    ASSERT_TRUE(connect());
    // Lines of 17 bytes: their line feeds fall on every offset within a block in turn.
    std::string list;
    for (int i = 0; i < 40; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "ChannelID=\"%04d\"\n", i);
        list += line;
    }
    ASSERT_EQ(list.size(), 40u * 17u);
    box.setChannelListText(list);
    sim::SimFaults faults;
    faults.streamCutAfterSmallBytes = true;
    cut(faults);
    auto r = runAs<ResExportChannelList>(ReqExportChannelList());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(r->channelList, list);
    int lineFeedEnds = 0;
    for (const auto& piece : box.sentPieces())
        lineFeedEnds += (piece.stream && piece.end % 16 == 0 && piece.plain.back() == '\n') ? 1 : 0;
    EXPECT_GE(lineFeedEnds, 2);
}

TEST_F(RudeBox, StreamCutAtRandomOffsetsAndInsideThePadding)
{
    ASSERT_TRUE(connect());
    bool insidePadding = false;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        sim::SimFaults faults;
        faults.streamPieces = 120;
        faults.cutSeed = seed;
        cut(faults);
        EXPECT_EQ(exportParams(), expectedParamsFile());
        const auto pieces = box.sentPieces();
        const std::string plain = streamPlain(pieces);
        ASSERT_FALSE(plain.empty());
        const size_t pad = static_cast<uint8_t>(plain.back());
        for (const auto& p : pieces)
            insidePadding = insidePadding || (p.stream && p.end > plain.size() - pad && p.end < plain.size());
    }
    EXPECT_TRUE(insidePadding) << "no cut fell inside the padding run";

    // One cut inside the run, one between the last record's zero byte and its padding.
    const size_t size = streamPlain(box.sentPieces()).size();
    const size_t pad = static_cast<uint8_t>(streamPlain(box.sentPieces()).back());
    sim::SimFaults faults;
    faults.streamCuts = {size - pad, size - 1};
    cut(faults);
    EXPECT_EQ(exportParams(), expectedParamsFile());
}

TEST_F(RudeBox, PaddingAloneInTheLastSegment)
{
    ASSERT_TRUE(connect());
    // A parameter list whose stream ends exactly on a block: the last block is padding only.
    sim::SimFaults probe;
    cut(probe);
    exportParams();
    const size_t size = streamPlain(box.sentPieces()).size();
    const size_t pad = static_cast<uint8_t>(streamPlain(box.sentPieces()).back());
    const size_t grow = pad % 16;
    box.setValue("ManagementDomain", box.value("ManagementDomain") + std::string(grow, 'm'));
    sim::SimFaults faults;
    faults.streamCuts = {size - pad + grow}; // the padding block goes alone
    ASSERT_EQ((size - pad + grow) % 16, 0u);
    cut(faults);
    EXPECT_EQ(exportParams(), expectedParamsFile());
    const auto pieces = box.sentPieces();
    ASSERT_FALSE(pieces.empty());
    EXPECT_EQ(pieces.back().plain, std::string(16, '\x10'));
    EXPECT_EQ(pieces.back().end, size - pad + grow + 16);
    // The late padding block is not taken for the answer to the next request.
    expectWholeInfo();
}

TEST_F(RudeBox, ProgressReportsCutInTheirMiddle)
{
    ASSERT_TRUE(connect());
    // "200read^10", zero, "200read^60", zero: cut behind "200read^6" and inside "200read^".
    for (const std::vector<size_t>& cuts : std::vector<std::vector<size_t>>{{16}, {16, 32}, {5, 20}}) {
        SCOPED_TRACE(::testing::PrintToString(cuts));
        sim::SimFaults faults;
        faults.streamCuts = cuts;
        cut(faults);
        ReqExportParams request;
        request.fileName = paramsFile;
        const auto all = runAll(request);
        ASSERT_EQ(all.size(), 3u);
        EXPECT_EQ(dynamic_cast<ResExportParams&>(*all[0]).percent, 10);
        EXPECT_EQ(dynamic_cast<ResExportParams&>(*all[1]).percent, 60);
        EXPECT_EQ(all[2]->status, STA_OK);
        EXPECT_EQ(readFile(paramsFile), expectedParamsFile());
    }
}

TEST_F(RudeBox, LateRepliesAreNotTakenForTheAnswerToTheNextFrame)
{
    ASSERT_TRUE(connect());
    box.setValue("STBType", "type-late");
    sim::SimFaults faults;
    faults.replyDelay["CASType"] = 1000ms; // past the tool's wait of 700 ms
    faults.replyDelay["ChipId"] = 1000ms;
    box.setFaults(faults);
    auto info = runAs<ResSTBInfo>(ReqSTBInfo());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->status, STA_PART_OK);
    EXPECT_EQ(info->message, "read CASType failed:no data; read ChipId failed:no data; ");
    EXPECT_EQ(info->casType, "");
    EXPECT_EQ(info->mainHomepageUrl, box.value("Main_HomepageUrl")); // the key after the late one
    EXPECT_EQ(info->epgUrl, box.value("epgurl"));
    EXPECT_EQ(info->stbType, box.value("STBType"));

    // The late answer to the last key arrives between two exchanges; the next one ignores it.
    std::this_thread::sleep_for(600ms);
    box.setFaults({});
    ReqExtCommand read(FuncRead, TypeUserCommand);
    read.command = "read^STBType^null";
    auto r = runAs<ResExtCommand>(read);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(r->body, "type-late");
}

// A box on a 15-character loopback address: the image connection goes to the full address.
class RudeBoxOnLongAddress : public RudeBox {
protected:
    static sim::SimOptions longAddress()
    {
        auto o = testBoxOptions();
        o.listenAddress = "127.100.100.100";
        return o;
    }
    RudeBoxOnLongAddress() : RudeBox(longAddress()) {}
};

TEST_F(RudeBoxOnLongAddress, UpgradeReachesTheBoxOnItsFullAddress)
{
    ReqConnect c;
    c.ip = "127.100.100.100";
    ASSERT_EQ(c.ip.size(), 15u);
    c.port = box.port();
    c.userName = sim::kDefaultUser;
    c.password = sim::kDefaultPassword;
    auto connected = run(c);
    ASSERT_TRUE(connected);
    ASSERT_EQ(connected->status, STA_OK) << connected->message;

    const std::string path = tempPath("long.img");
    {
        std::ofstream out(path, std::ios::binary);
        out << sim::simImageHeader("V9.9.9.0001");
        for (int i = 0; i < 6000; ++i)
            out.put(static_cast<char>(i * 31));
    }
    sim::SimFaults faults;
    faults.replyPieces = 3;
    cut(faults);
    ReqUpgrade upgrade;
    upgrade.fileName = path;
    const auto all = runAll(upgrade);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back()->status, STA_OK) << all.back()->message;
    EXPECT_EQ(all.back()->errorId, kCodeUpgradeDone);
    const auto record = box.upgradeRecord();
    EXPECT_EQ(record.received, 6032);
    EXPECT_EQ(record.image, readFile(path));
    std::filesystem::remove(path);
}
