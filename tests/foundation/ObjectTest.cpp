// Reference counting, the smart pointers, interface casts, type names and process-wide singletons.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "FoundationTestSupport.h"
#include "foundation/CString.h"
#include "foundation/Cast.h"
#include "foundation/Exception.h"
#include "foundation/Object.h"
#include "foundation/Pointer.h"
#include "foundation/Singleton.h"
#include "foundation/TypeName.h"

namespace lumo {
namespace {

using CCounted = test::TCounted<>;

// Takes and drops a reference to itself while it is being destroyed.
class CSelfReferencing final : public CCounted {
 public:
  using CCounted::CCounted;

 private:
  ~CSelfReferencing() override {
    P<CSelfReferencing> self = P<CSelfReferencing>::share(this);
    P<CSelfReferencing> again = self;
  }
};

TEST(ReferenceCounting, LastReleaseDestroysExactlyOnceEvenWhenTheDestructorSharesItselfOrWasCopied) {
  int destroyed = 0;
  P<CSelfReferencing> object = make<CSelfReferencing>(destroyed);
  P<CSelfReferencing> second = object;
  object = nullptr;
  EXPECT_EQ(destroyed, 0);
  second = nullptr;
  EXPECT_EQ(destroyed, 1);
  // A copied object starts with its own single reference, whatever the original's count.
  P<CCounted> original = make<CCounted>(destroyed), shared = original;
  make<CCounted>(*original) = nullptr;
  EXPECT_EQ(destroyed, 2);
  // Adopting takes over the creation reference; sharing adds one, detaching hands it on.
  P<CCounted> adopted = P<CCounted>::adopt(new CCounted(destroyed));
  P<CCounted>::share(adopted.get()) = nullptr;
  PC<CCounted> readOnly = P<CCounted>::adopt(adopted.detach());
  EXPECT_FALSE(adopted);
  EXPECT_EQ(destroyed, 2);
  readOnly = nullptr;
  EXPECT_EQ(destroyed, 3);
}

TEST(SmartPointers, FrailPointersOwnOnlyWhenStrong) {
  int destroyed = 0;
  P<CCounted> owner = make<CCounted>(destroyed);
  {
    PFrail<CCounted> frail = PFrail<CCounted>::frail(owner.get());
    PFrail<CCounted> frailCopy = frail;
    EXPECT_FALSE(frailCopy.isStrong());
    PFrail<CCounted> strong = owner;
    PFrail<CCounted> strongCopy = strong;
    EXPECT_TRUE(strongCopy.isStrong());
    owner = nullptr;  // the two strong ones keep it
    EXPECT_EQ(destroyed, 0);
    strongCopy = frail;  // now frail: drops its reference
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);  // frail pointers released nothing
}

// Each pointer kind as a template, so one test body checks P, PC and PFrail.
template <template <class> class Ptr>
struct Kind {
  template <class T>
  using Of = Ptr<T>;
};

// A link that owns the next one through the pointer kind under test.
template <class K>
class CLink final : public CCounted {
 public:
  using Ptr = typename K::template Of<CLink>;
  using CCounted::CCounted;
  mutable Ptr next;  // mutable so that PC's const links can be moved from
  static Ptr chain(int& destroyed, int length) {
    Ptr head(make<CLink>(destroyed));
    for (Ptr* at = &head; --length > 0; at = &(*at)->next) (*at)->next = Ptr(make<CLink>(destroyed));
    return head;
  }
};

template <class K>
class PointerAssignment : public testing::Test {};
using PointerKinds = testing::Types<Kind<P>, Kind<PC>, Kind<PFrail>>;
TYPED_TEST_SUITE(PointerAssignment, PointerKinds);

// Assigning a pointer to itself keeps the object; assigning from a source that lives inside the object the
// assignment releases must not read freed memory (the sanitizer build shows it).
TYPED_TEST(PointerAssignment, ToItselfOrFromInsideTheReleasedObject) {
  int destroyed = 0;
  auto head = CLink<TypeParam>::chain(destroyed, 3);
  auto& same = head;
  head = same;
  ASSERT_TRUE(head);
  head = std::move(same);
  ASSERT_TRUE(head);
  EXPECT_EQ(destroyed, 0);
  head = head->next;
  EXPECT_EQ(destroyed, 1);
  head = std::move(head->next);
  EXPECT_EQ(destroyed, 2);
  ASSERT_TRUE(head);
  EXPECT_FALSE(head->next);
  head = nullptr;
  EXPECT_EQ(destroyed, 3);
}

class IFirst : public virtual IBase {};
class ISecond : public virtual IBase {};
class CFirst : public CObject, public IFirst {};
class CSecond : public CObject, public ISecond {};

// Implements IFirst but forbids every cast.
class CForbidding final : public CFirst {
 public:
  bool getCastInfo(const std::type_info&, IBase**, CastCandidate**) override { return false; }
};

// Implements IFirst itself and hands ISecond (and everything else) to a
// delegate, and offers candidates.
class CSteering final : public CFirst {
 public:
  IBase* delegate = nullptr;
  CastCandidate nodes[2];
  CastCandidate* candidates = nullptr;
  int asked = 0;
  bool getCastInfo(const std::type_info&, IBase** outDelegate, CastCandidate** outCandidates) override {
    ++asked;
    EXPECT_EQ(*outDelegate, nullptr);
    EXPECT_EQ(*outCandidates, nullptr);
    *outDelegate = delegate;
    *outCandidates = candidates;
    return true;
  }
};

TEST(InterfaceCast, DelegateIsFollowedOnlyWhenAsked) {
  P<CSteering> steering = make<CSteering>();
  P<CSecond> target = make<CSecond>();
  steering->delegate = target.get();
  EXPECT_EQ(cast<ISecond>(steering, true), static_cast<ISecond*>(target.get()));
  // A followed delegate replaces the object, even for what the object has.
  EXPECT_EQ(cast<IFirst>(steering, true), nullptr);
  EXPECT_EQ(cast<IFirst>(steering, false), static_cast<IFirst*>(steering.get()));
}

TEST(InterfaceCast, CandidatesAreTriedInOrderWithoutTheirDelegates) {
  P<CSteering> object = make<CSteering>();
  P<CSteering> delegatingCandidate = make<CSteering>();
  P<CSecond> hidden = make<CSecond>();
  P<CSecond> offered = make<CSecond>();
  delegatingCandidate->delegate = hidden.get();
  object->nodes[0] = {delegatingCandidate.get(), &object->nodes[1]};
  object->nodes[1] = {offered.get(), nullptr};
  object->candidates = &object->nodes[0];
  EXPECT_EQ(cast<ISecond>(object), static_cast<ISecond*>(offered.get()));
  EXPECT_EQ(delegatingCandidate->asked, 1);
  EXPECT_EQ(cast<IString>(object), nullptr);
}

TEST(InterfaceCast, NullPassesAndARefusedCastRaisesAnErrorNamingBothTypes) {
  EXPECT_EQ(castOrThrow<IFirst>(static_cast<IBase*>(nullptr)), nullptr);
  const P<CForbidding> forbidding = make<CForbidding>();
  EXPECT_EQ(cast<CForbidding>(forbidding), nullptr);
  EXPECT_THROW(castOrThrow<IFirst>(forbidding), CCastError);
  const P<ICharEncoding>& utf8 = GetUTF8CharEncoding();
  EXPECT_THAT([&] { castOrThrow<IString>(utf8); },
              testing::Throws<CCastError>(testing::AllOf(
                  testing::Property(&CCastError::getDescription,
                                    String("Error casting a 'class lumo::CUTF8CharEncoding' object to 'class "
                                           "lumo::IString'.")),
                  testing::Property(&CCastError::getObject, static_cast<IBase*>(utf8.get())))));
  EXPECT_EQ(TypeName(typeid(StringMode)), String("enum lumo::StringMode"));
  EXPECT_EQ(TypeName(typeid(int)), String("int"));
}

std::atomic<int> slowFactoryRuns{0};
P<CObject> SlowFactory() {
  ++slowFactoryRuns;
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  return make<CSecond>();
}

TEST(StaticSingleton, RacingThreadsGetOneInstanceFromOneFactoryRun) {
  std::barrier start(2);
  CObject* seen[2] = {};
  auto reach = [&](int i) {
    start.arrive_and_wait();
    seen[i] = StaticSingleton<CObject, &SlowFactory>().get();
  };
  std::thread a(reach, 0), b(reach, 1);
  a.join();
  b.join();
  EXPECT_EQ(slowFactoryRuns.load(), 1);
  ASSERT_NE(seen[0], nullptr);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ((StaticSingleton<CObject, &SlowFactory>().get()), seen[0]);
}

int failingFactoryRuns = 0;
P<CObject> FailsFirstTime() {
  if (++failingFactoryRuns == 1) throw std::runtime_error("not yet");
  return make<CSecond>();
}

TEST(StaticSingleton, AFactoryThatFailsIsRunAgainOnTheNextAccess) {
  EXPECT_THROW((StaticSingleton<CObject, &FailsFirstTime>()), std::runtime_error);
  EXPECT_NE((StaticSingleton<CObject, &FailsFirstTime>().get()), nullptr);
  EXPECT_EQ(failingFactoryRuns, 2);
}

}  // namespace
}  // namespace lumo
