// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The per-user store held in memory only, for tests, with the same rules as
// the .reg file. Its writes (and the creation of a missing key) can be made
// to fail, as on a full disk.
#include <memory>

#include "platform/registry.h"

namespace platform {

class FakeUserRegistry : public UserRegistry {
public:
    virtual void setFailWrites(bool fail) = 0;
};

std::unique_ptr<FakeUserRegistry> fakeUserRegistry(bool failWrites = false);

}  // namespace platform
