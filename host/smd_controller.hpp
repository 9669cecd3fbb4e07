// SMDController: the host's controller that owns devices created with Init().
// The plug-in only passes a weak reference to it through; nothing of it is used.
#pragma once

#include "host/host_api.hpp"

class SMD_HOST_API SMDController {
public:
    virtual ~SMDController();
};
