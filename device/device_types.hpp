// The one instantiation of the device templates in this plug-in.
#pragma once

#include "device/pmbuspower_419.hpp"
#include "device/record.hpp"
#include "host/pmbus_protocol.hpp"

using DataDevice = UniDataDevice<pxr52_419_Data_t, PMBusProtocol, PXR52_419_DATA_ID>;
using PowerDevice = pmbuspower_419<pxr52_419_Data_t, PXR52_419_DATA_ID>;
