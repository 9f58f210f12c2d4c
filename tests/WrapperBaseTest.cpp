#include <gtest/gtest.h>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.System.h"

using namespace Tembro::Audio::FMOD;

namespace {

// A wrapper of the base class that tells when it is destroyed.
class TCountedObject : public TTembroFMODObject<> {
public:
  explicit TCountedObject(bool& ADestroyed) : TTembroFMODObject(reinterpret_cast<void*>(0x42)), FDestroyed(ADestroyed) {}
  ~TCountedObject() override { FDestroyed = true; }

private:
  bool& FDestroyed;
};

}  // namespace

TEST(WrapperBase, IdentifiersParseFromTheirRegistryForm) {
  constexpr TGUID Id = TGUID::Parse("{8CBFD142-5176-4A50-99AC-CCC5AC8E7B1F}");
  EXPECT_EQ(Id.D1, 0x8CBFD142u);
  EXPECT_EQ(Id.D2, 0x5176u);
  EXPECT_EQ(Id.D3, 0x4A50u);
  const std::uint8_t D4[8] = {0x99, 0xAC, 0xCC, 0xC5, 0xAC, 0x8E, 0x7B, 0x1F};
  for (int I = 0; I < 8; ++I) EXPECT_EQ(Id.D4[I], D4[I]);
  EXPECT_TRUE(Id == ITembroFMODInterface::IID);
  EXPECT_FALSE(IID_ITembroFMODSound == IID_ITembroFMODSystem);
}

TEST(WrapperBase, CountStartsAtZeroAndTheLastReleaseDestroys) {
  bool Destroyed = false;
  auto* Raw = new TCountedObject(Destroyed);
  EXPECT_EQ(Raw->RefCount(), 0);
  {
    TTembroFMODPtr<ITembroFMODInterface> First(Raw);
    EXPECT_EQ(Raw->RefCount(), 1);
    TTembroFMODPtr<ITembroFMODInterface> Copy = First;
    TTembroFMODPtr<ITembroFMODInterface> Moved = std::move(Copy);
    EXPECT_EQ(Raw->RefCount(), 2);
    EXPECT_FALSE(Copy);
    First.Reset();
    EXPECT_FALSE(Destroyed);
    EXPECT_EQ(Moved->GetInternalHandle(), reinterpret_cast<void*>(0x42));
    EXPECT_EQ(Moved->GetSystemObject(), nullptr);
  }
  EXPECT_TRUE(Destroyed);
}

TEST(WrapperBase, AttachAndDetachMoveAReferenceWithoutCounting) {
  bool Destroyed = false;
  auto* Raw = new TCountedObject(Destroyed);
  Raw->AddRef();
  TTembroFMODPtr<ITembroFMODInterface> Held;
  Held.Attach(Raw);
  EXPECT_EQ(Raw->RefCount(), 1);
  ITembroFMODInterface* Out = Held.Detach();
  EXPECT_EQ(Raw->RefCount(), 1);
  EXPECT_FALSE(Held);
  Out->Release();
  EXPECT_TRUE(Destroyed);
}

TEST(WrapperBase, QueryAnswersImplementedInterfacesOnly) {
  bool Destroyed = false;
  TTembroFMODPtr<ITembroFMODInterface> Object(new TCountedObject(Destroyed));
  EXPECT_TRUE(Object.TryQuery<ITembroFMODInterface>());
  EXPECT_FALSE(Object.TryQuery<ITembroFMODSystem>());
  EXPECT_THROW(Object.Query<ITembroFMODSystem>(), std::runtime_error);
  void* Raw = reinterpret_cast<void*>(1);
  EXPECT_FALSE(Object->QueryInterface(IID_ITembroFMODSound, &Raw));
  EXPECT_EQ(Raw, nullptr);
  EXPECT_EQ(static_cast<TCountedObject*>(Object.Get())->RefCount(), 1);
}
