// As<T> answers exact classes from the object's type and everything else
// through the class tree; both must give the same pointers a cast gives.
#include <gtest/gtest.h>

#include "corvex/runtime/object.h"

namespace cvx {
namespace {

struct TAnimal : TObject {
  int legs = 4;
};
struct TBird : TAnimal {
  int wings = 2;
};
struct TRock final : TObject {};

// A second base in front of TObject: the cast must move the pointer.
struct Tag {
  virtual ~Tag() noexcept(false) = default;
  int tag = 7;
};
struct TTagged final : Tag, TObject {};

// TObject reached along two paths of virtual inheritance: only the class-tree
// cast can answer, and As must still compile and work for it.
struct TShared : virtual TObject {};
struct TLeft : TShared {};

TEST(AsTest, ExactClassesSubclassesAndStrangersAnswerAsACastDoes) {
  Ref<TAnimal> animal = new TAnimal;
  Ref<TBird> bird = new TBird;
  Ref<TRock> rock = new TRock;

  EXPECT_EQ(As<TAnimal>(animal.Get()), animal.Get());
  EXPECT_EQ(As<TAnimal>(bird.Get()), static_cast<TAnimal*>(bird.Get()));  // a subclass
  EXPECT_EQ(As<TBird>(bird.Get()), bird.Get());
  EXPECT_EQ(As<TBird>(animal.Get()), nullptr);  // a base is not its subclass
  EXPECT_EQ(As<TAnimal>(rock.Get()), nullptr);
  EXPECT_EQ(As<TRock>(nullptr), nullptr);
  EXPECT_EQ(As<TObject>(rock.Get()), rock.Get());
}

TEST(AsTest, AClassWhoseObjectPartIsNotFirstGetsTheAdjustedPointer) {
  Ref<TTagged> tagged = new TTagged;
  TObject* asObject = tagged.Get();
  ASSERT_NE(static_cast<void*>(asObject), static_cast<void*>(tagged.Get()));
  TTagged* back = As<TTagged>(asObject);
  ASSERT_EQ(back, tagged.Get());
  EXPECT_EQ(back->tag, 7);
}

TEST(AsTest, VirtualBasesGoThroughTheClassTree) {
  Ref<TLeft> left = new TLeft;
  TObject* asObject = left.Get();
  EXPECT_EQ(As<TLeft>(asObject), left.Get());
  EXPECT_EQ(As<TShared>(asObject), static_cast<TShared*>(left.Get()));
  EXPECT_EQ(As<TRock>(asObject), nullptr);
}

}  // namespace
}  // namespace cvx
