#include "crash/delivery/network_settings.h"

namespace qor {

NetworkSettings& DeliveryNetworkSettings() {
  static NetworkSettings settings;
  return settings;
}

bool ServerAddressAllowed(Ipv4Address address) {
  const auto allowed = DeliveryNetworkSettings().address_allowed;
  return allowed == nullptr || allowed(address);
}

}  // namespace qor
