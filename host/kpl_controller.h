// The host object that owns devices. A device keeps a weak reference to it.
#pragma once

class KPLController {
 public:
  virtual ~KPLController() = default;
};
