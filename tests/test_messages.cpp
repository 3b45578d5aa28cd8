#include <Messages.h>

#include <gtest/gtest.h>

using namespace quillon;

TEST(Messages, TypeCodesAndDefaults)
{
    EXPECT_EQ(ReqConnect().type, 0);
    EXPECT_EQ(ReqDisConnect().type, 1);
    EXPECT_EQ(ReqDisConnect().function, 255);
    EXPECT_EQ(ReqSTBInfo().type, 2);
    EXPECT_EQ(ReqConfigInfo().type, 3);
    EXPECT_EQ(ReqExportParams().type, 4);
    EXPECT_EQ(ReqExportChannelList().type, 5);
    EXPECT_EQ(ReqPing().type, 6);
    EXPECT_EQ(ReqPing().function, FuncConnect);
    EXPECT_EQ(ReqPing().duration, -1);
    EXPECT_EQ(ReqTraceRoute().type, 7);
    EXPECT_EQ(ReqUpgrade().type, 10);
    EXPECT_EQ(ReqUpgrade().forceUpgrade, 0);
    EXPECT_EQ(ReqLogParams().type, 11);
    EXPECT_EQ(ReqLogParams().addrType, -1);
    EXPECT_EQ(ReqPcap().type, 12);
    Request plain;
    EXPECT_EQ(plain.function, 255);
    EXPECT_EQ(plain.type, -1);
}

TEST(Messages, CloneKeepsTheMostDerivedClassAndItsStrings)
{
    std::unique_ptr<Request> clone;
    {
        ReqConnect source;
        source.ip = "192.168.1.20";
        source.userName = "admin";
        source.password = "pw";
        source.port = 1234;
        clone = source.clone();
    }
    auto* c = dynamic_cast<ReqConnect*>(clone.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->ip, "192.168.1.20");
    EXPECT_EQ(c->userName, "admin");
    EXPECT_EQ(c->password, "pw");
    EXPECT_EQ(c->port, 1234);

    Response plainPcap(FuncNone, TypePcap);
    auto r = plainPcap.clone();
    EXPECT_EQ(typeid(*r), typeid(Response));
    EXPECT_EQ(r->type, 12);
}

TEST(Messages, SetResultSetsAllThree)
{
    ResSTBInfo r;
    r.setResult(STA_PART_OK, "read CASType failed,errorid:401; ", 0);
    EXPECT_EQ(r.status, STA_PART_OK);
    EXPECT_EQ(r.message, "read CASType failed,errorid:401; ");
    EXPECT_EQ(r.errorId, 0);
    auto c = r.clone();
    EXPECT_EQ(c->message, r.message);
}

TEST(Messages, ResponseForACommandCarriesItsIdAndFunction)
{
    ReqExtCommand button(FuncIoctl, TypeButtonCommand);
    auto r = makeResponseFor(button);
    EXPECT_EQ(r->type, 9);
    EXPECT_EQ(r->function, FuncIoctl);
    EXPECT_NE(dynamic_cast<ResExtCommand*>(r.get()), nullptr);

    ReqConfigInfo write(FuncWrite);
    auto w = makeResponseFor(write);
    EXPECT_EQ(w->function, FuncWrite);
    EXPECT_NE(dynamic_cast<ResConfigInfo*>(w.get()), nullptr);

    auto p = makeResponseFor(ReqPcap());
    EXPECT_EQ(p->type, 12);
    EXPECT_EQ(p->function, 255);
}

TEST(Messages, FunctionNames)
{
    EXPECT_EQ(functionName(0), "read");
    EXPECT_EQ(functionName(1), "write");
    EXPECT_EQ(functionName(2), "ioctl");
    EXPECT_EQ(functionName(3), "inform");
    EXPECT_EQ(functionName(4), "connect");
    EXPECT_EQ(functionName(5), "");
    EXPECT_EQ(functionName(255), "");
}
