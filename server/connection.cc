#include "server/connection.h"

namespace server {

Place Place::Take(ServerControl& control) {
  return control.TakePlace() ? Place(&control) : Place();
}

Place& Place::operator=(Place&& other) noexcept {
  if (this != &other) {
    Leave();
    control_ = other.control_;
    other.control_ = nullptr;
  }
  return *this;
}

void Place::Leave() {
  if (control_) control_->LeavePlace();
  control_ = nullptr;
}

}  // namespace server
