#include "service/servicecontext.hpp"

#include <atomic>
#include <stdexcept>

namespace {

// Set before the service's threads start and cleared after they have ended.
std::atomic<TServiceContext*> registered{nullptr};

}  // namespace

TServiceContext& oltsrv() {
  TServiceContext* service = registered.load();
  if (service == nullptr) throw std::logic_error("Kein Servicemodul");
  return *service;
}

TServiceRegistration::TServiceRegistration(TServiceContext& service)
    : previous_(registered.exchange(&service)) {}

TServiceRegistration::~TServiceRegistration() { registered.store(previous_); }
