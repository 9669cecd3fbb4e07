// The host calls the device through fixed virtual-table slots: the slot of
// every operation is read back from its pointer-to-member (Itanium C++ ABI,
// also used on ARM with the virtual flag in the adjustment) instead of being
// assumed from the declarations.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/tarnel_brelm_pxr52_419.hpp"
#include "host/provider.hpp"
#include "plugin/tarnel_provider.hpp"

namespace {

template <class M>
long slot_of(M member) {
    struct Rep {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } rep;
    static_assert(sizeof(member) == sizeof(rep), "Itanium member-pointer layout expected");
    std::memcpy(&rep, &member, sizeof rep);
#if defined(__arm__) || defined(__aarch64__)
    if ((rep.adj & 1) == 0) return -1;
    return static_cast<long>(rep.ptr / sizeof(void*));
#else
    if ((rep.ptr & 1) == 0) return -1;
    return static_cast<long>((rep.ptr - 1) / sizeof(void*));
#endif
}

using V = VDeviceInterface;
using S = SMDVDevice;
using P = SMDSPDevice;
using B = PMBusProtocol;
using D = PowerDevice;

TEST(VirtualLayout, HostChainSlotsAreInContractOrder) {
    EXPECT_EQ(slot_of(&V::Get_Value), 0);
    EXPECT_EQ(slot_of(static_cast<int (V::*)(const std::string&)>(&V::LoadFromCache)), 1);
    EXPECT_EQ(slot_of(static_cast<int (V::*)(const unsigned char*, int)>(&V::LoadFromCache)), 2);
    EXPECT_EQ(slot_of(&V::DataId), 3);
    EXPECT_EQ(slot_of(&V::DeviceType), 4);
    EXPECT_EQ(slot_of(&V::DeviceIoControl), 5);
    EXPECT_EQ(slot_of(&V::RoundDone), 6);
    EXPECT_EQ(slot_of(&V::UseControllerDb), 7);
    // Slots 8 and 9: the complete and the deleting destructor.
    EXPECT_EQ(slot_of(&S::Reset), 10);
    EXPECT_EQ(slot_of(&S::InitV), 11);
    EXPECT_EQ(slot_of(&S::Init), 12);
    EXPECT_EQ(slot_of(&S::InitSetting), 13);
    EXPECT_EQ(slot_of(&S::IsSupportDevice), 14);
    EXPECT_EQ(slot_of(&S::GetChildVDevice), 15);
    EXPECT_EQ(slot_of(&S::GetAllChildVDevices), 16);
    EXPECT_EQ(slot_of(&S::SendSP), 17);
    EXPECT_EQ(slot_of(&S::SendDelayData), 18);
    EXPECT_EQ(slot_of(&S::SendDoData), 19);
    EXPECT_EQ(slot_of(&S::ReadDi), 20);
    EXPECT_EQ(slot_of(&S::ReadAi), 21);
    EXPECT_EQ(slot_of(&S::Get_SP_Value), 22);
    EXPECT_EQ(slot_of(&P::RefreshStatus), 23);
    EXPECT_EQ(slot_of(&P::process), 24);
    EXPECT_EQ(slot_of(&P::IsProcessing), 25);
    EXPECT_EQ(slot_of(&P::IsStalled), 26);
    EXPECT_EQ(slot_of(&P::SendData), 27);
    EXPECT_EQ(slot_of(&P::SendParityData), 28);
    EXPECT_EQ(slot_of(&P::OpenPort), 29);
    EXPECT_EQ(slot_of(&P::ClosePort), 30);
    EXPECT_EQ(slot_of(&B::process_payload), 31);
    EXPECT_EQ(slot_of(&B::process_error), 32);
}

TEST(VirtualLayout, DeviceOperationsFollowTheHostChain) {
    EXPECT_EQ(slot_of(&DataDevice::RunCheckThreshold), 33);
    EXPECT_EQ(slot_of(&DataDevice::GenJsonData), 34);
    const long parse_slots[] = {
        slot_of(&D::parse42_41), slot_of(&D::parse42_41_2), slot_of(&D::parse42_42),
        slot_of(&D::parse42_42_2), slot_of(&D::parse42_44), slot_of(&D::parse42_44_2),
        slot_of(&D::parse41_41), slot_of(&D::parse41_42), slot_of(&D::parse41_43),
        slot_of(&D::parse41_44), slot_of(&D::parse40_44), slot_of(&D::parse40_43),
        slot_of(&D::parse40_41), slot_of(&D::parse40_42)};
    for (long k = 0; k < 14; ++k) EXPECT_EQ(parse_slots[k], 35 + k) << "parse operation " << k;
}

TEST(VirtualLayout, OverridesKeepTheirBaseSlots) {
    using T = Tarnel_BRELM_PXR52_419;
    EXPECT_EQ(slot_of(&T::process_payload), slot_of(&B::process_payload));
    EXPECT_EQ(slot_of(&T::process_error), slot_of(&B::process_error));
    EXPECT_EQ(slot_of(&T::RefreshStatus), slot_of(&P::RefreshStatus));
    EXPECT_EQ(slot_of(&T::RunCheckThreshold), 33);
    EXPECT_EQ(slot_of(&D::Get_Value), 0);
    EXPECT_EQ(slot_of(&D::DeviceIoControl), 5);
    EXPECT_EQ(slot_of(&D::Reset), 10);
    EXPECT_EQ(slot_of(&D::InitSetting), 13);
}

TEST(VirtualLayout, ProviderCreateFollowsTheDestructors) {
    EXPECT_EQ(slot_of(&SMDSPDeviceProvider::create), 2);
    EXPECT_EQ(slot_of(&Tarnel_BRELM_PXR52_419Provider::create), 2);
    // Each provider object holds only its virtual-table pointer.
    EXPECT_EQ(sizeof(Tarnel_BRELM_PXR52_419Provider), sizeof(void*));
}

}  // namespace
