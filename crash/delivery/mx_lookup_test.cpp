// The mail-exchanger lookup against real DNS servers (dnslib) on 127.0.0.x,
// started by the test, and direct delivery through what it finds.
#include "crash/delivery/mx_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crash/delivery/smtp_delivery.h"
#include "crash/delivery/testing/loopback_guard.h"
#include "crash/delivery/testing/peer_process.h"

namespace qor {
namespace {

using testing::LoopbackGuard;
using testing::PeerProcess;
using Strings = std::vector<std::string>;

class MxLookupTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_FALSE(LoopbackGuard::Addresses().empty());
    for (Ipv4Address address : LoopbackGuard::Addresses()) {
      EXPECT_TRUE(testing::IsLoopback(address)) << std::hex << address;
    }
  }

  // DNS servers answering by `rules` (see dns_peer.py); the lookup asks
  // `name_servers`, or walks from `roots` when there are none.
  void Serve(const Strings& rules, Strings name_servers, Strings roots = {}) {
    dns_ = std::make_unique<PeerProcess>("dns_peer.py", rules);
    ASSERT_TRUE(dns_->ready()) << "the DNS test server did not start";
    guard_ = std::make_unique<LoopbackGuard>(std::move(name_servers), std::move(roots),
                                             dns_->Port("dns"));
  }

  Strings Queries() {
    Strings queries;
    for (const std::string& event : dns_->Events()) {
      if (event.rfind("query ", 0) == 0) queries.push_back(event.substr(6));
    }
    return queries;
  }

  std::unique_ptr<PeerProcess> dns_;
  std::unique_ptr<LoopbackGuard> guard_;
};

TEST_F(MxLookupTest, FirstAnswerWhateverItsPreference) {
  Serve({"127.0.0.2,MX,first.test,an,MX,-,mx-second.first.test,20",
         "127.0.0.2,MX,first.test,an,MX,-,mx-best.first.test,5"},
        {"127.0.0.2"});
  EXPECT_EQ(FindMailExchanger("Ann <ann@first.test>"), "mx-second.first.test");
}

TEST_F(MxLookupTest, BaseDomainAskedWhenTheDomainHasNone) {
  Serve({"127.0.0.2,MX,mail.corp.test,an,MX,-,mx.corp.test,10"}, {"", "127.0.0.2"});
  EXPECT_EQ(FindMailExchanger("Joe <joe@host.mail.corp.test>"), "mx.corp.test");
  EXPECT_EQ(Queries(), (Strings{"127.0.0.2 MX host.mail.corp.test", "127.0.0.2 MX mail.corp.test"}));
}

TEST_F(MxLookupTest, NamesThroughNestedPointersAndPastOtherRecords) {
  // The owner "mx.nest.test" is written as "mx" + a pointer to the question,
  // and the exchange as "a" + a pointer to the owner.
  Serve({"127.0.0.2,MX,nest.test,an,CNAME,-,alias.nest.test",
         "127.0.0.2,MX,nest.test,an,MX,mx.nest.test,a.mx.nest.test,10"},
        {"127.0.0.2"});
  EXPECT_EQ(FindMailExchanger("x@nest.test"), "a.mx.nest.test");
}

TEST_F(MxLookupTest, ErrorReplyIsPassedOverForTheNext) {
  // 127.0.0.3 answers only after 127.0.0.2 has said NXDOMAIN.
  Serve({"127.0.0.2,*,*,rcode,3", "127.0.0.3,*,*,after,127.0.0.2",
         "127.0.0.3,MX,slow.test,an,MX,-,mx.slow.test,10"},
        {"127.0.0.2", "127.0.0.3"});
  EXPECT_EQ(FindMailExchanger("x@slow.test"), "mx.slow.test");
}

TEST_F(MxLookupTest, WalkFromTheRootsThroughReferrals) {
  // Name servers named by their addresses, so the walk needs no resolver.
  Serve({"127.0.0.4,NS,walk.test,ns,test,127.0.0.6", "127.0.0.5,NS,walk.test,ns,test,127.0.0.6",
         "127.0.0.6,NS,walk.test,ns,walk.test,127.0.0.7",
         "127.0.0.7,NS,walk.test,an,NS,-,127.0.0.8",
         "127.0.0.8,MX,walk.test,an,MX,-,mx.walk.test,10"},
        {}, {"127.0.0.4", "127.0.0.5"});
  EXPECT_EQ(FindMailExchanger("x@walk.test"), "mx.walk.test");
  // Both roots are asked at once and either may note it last; the walk
  // after them goes in order.
  Strings queries = Queries();
  const auto second_root = std::find(queries.begin(), queries.end(), "127.0.0.5 NS walk.test");
  ASSERT_NE(second_root, queries.end());
  queries.erase(second_root);
  EXPECT_EQ(queries, (Strings{"127.0.0.4 NS walk.test", "127.0.0.6 NS walk.test",
                              "127.0.0.7 NS walk.test", "127.0.0.8 MX walk.test"}));
}

TEST_F(MxLookupTest, EndlessReferralsEndAfterTen) {
  Serve({"127.0.0.4,NS,loop.test,ns,test,127.0.0.6",
         "127.0.0.6,NS,loop.test,ns,loop.test,127.0.0.6"},
        {}, {"127.0.0.4"});
  EXPECT_EQ(FindMailExchanger("x@loop.test"), "");
  const Strings queries = Queries();
  // The roots, the first referral, ten more, then the MX question.
  EXPECT_EQ(std::count(queries.begin(), queries.end(), "127.0.0.6 NS loop.test"), 11);
  EXPECT_EQ(queries.back(), "127.0.0.6 MX loop.test");
}

TEST_F(MxLookupTest, DirectDeliveryToThreeDomains) {
  // Each domain's exchanger is the SMTP test server, named by its address.
  Serve({"127.0.0.2,MX,a.test,an,MX,-,127.0.0.1,10", "127.0.0.2,MX,b.test,an,MX,-,127.0.0.1,10",
         "127.0.0.2,MX,c.test,an,MX,-,127.0.0.1,10"},
        {"127.0.0.2"});
  PeerProcess smtp("smtp_peer.py", {"mx:plain"});
  ASSERT_TRUE(smtp.ready());
  MailRequest request;
  request.sender = "crash@varnel.test";
  request.recipients = "ann@a.test; bob@b.test, Cy <cy@c.test>";
  request.subject = "Bug report";
  request.body = "text";
  request.port = smtp.Port("mx");
  ASSERT_TRUE(SmtpSendMail(request));
  EXPECT_EQ(Queries(), (Strings{"127.0.0.2 MX a.test", "127.0.0.2 MX b.test", "127.0.0.2 MX c.test"}));
  const Strings events = smtp.Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "connect mx"), 3);
  EXPECT_EQ(smtp.Ask("message 1")["to"], "ann@a.test");
  EXPECT_EQ(smtp.Ask("message 3")["to"], "cy@c.test");
}

}  // namespace
}  // namespace qor
