// Filling the version 6 records from a version 5 settings document.
#include <vector>

#include "mapping/mapping.h"
#include "settings/ov_settings.h"
#include "settings/setting_walk.h"

namespace recaster::mapping {
std::vector<ListenFamily> ListenFamilies(const settings::COVSettings& document) {
  const settings::VarNetwork_g& network = document.Network;
  std::vector<ListenFamily> families;
  if (network.Ipv4.Value()) {
    families.push_back({"IPv4", network.Ipv4BindAny.Value() ? "0.0.0.0" : convert::ToUtf8(network.Ipv4BindAddr.Value())});
  }
  if (network.Ipv6.Value()) {
    families.push_back({"IPv6", network.Ipv6BindAny.Value() ? "::" : convert::ToUtf8(network.Ipv6BindAddr.Value())});
  }
  return families;
}

// What the two functions below read: the whole Network group, three NetworkEx settings and the
// retention list.
std::vector<const settings::Var_t*> CarriedOver(const settings::COVSettings& document) {
  return {&document.Network, &document.NetworkEx.MaxPacketSize, &document.NetworkEx.MaxTcpClients,
          &document.NetworkEx.SeparateTcpStreamWithCRLF, &document.Storage.KeepPeriod};
}

void MapNetwork(const settings::COVSettings& document, ConfigTree& root, std::vector<MappingNote>* notes) {
  const settings::VarNetwork_g& network = document.Network;
  const settings::VarNetworkEx_g& extra = document.NetworkEx;
  const ListenerConfig initial;
  const TcpListener initial_tcp;
  const auto path = [&document](const settings::Var_t& setting) { return settings::PathOf(document, setting); };

  // A value is fitted (and noted) once, and only when a listener carries it.
  const std::vector<ListenFamily> families = ListenFamilies(document);
  const bool udp = network.Udp.Value() && !families.empty();
  const bool tcp = network.Tcp.Value() && !families.empty();
  std::uint16_t max_msg_len = initial.max_msg_len;
  std::uint32_t socket_buffer_size = initial.socket_buffer_size;
  if (udp || tcp) {
    max_msg_len = FitUnsigned16(extra.MaxPacketSize.Value(), initial.max_msg_len, path(extra.MaxPacketSize), notes);
    socket_buffer_size = FitUnsigned32(network.SocketBufferSize.Value(), initial.socket_buffer_size,
                                       path(network.SocketBufferSize), notes);
  }

  NetworkConfig config;
  if (udp) {
    const std::uint16_t port = FitUnsigned16(network.UdpPort.Value(), initial.port, path(network.UdpPort), notes);
    for (const ListenFamily& family : families) {
      UdpListener listener;
      listener.addr = family.addr;
      listener.port = port;
      listener.max_msg_len = max_msg_len;
      listener.socket_buffer_size = socket_buffer_size;
      config.udp.push_back(std::move(listener));
    }
  }
  if (tcp) {
    const std::uint16_t port = FitUnsigned16(network.TcpPort.Value(), initial.port, path(network.TcpPort), notes);
    const std::uint16_t sessions = FitUnsigned16(extra.MaxTcpClients.Value(), initial_tcp.max_concurrent_sessions,
                                                 path(extra.MaxTcpClients), notes);
    for (const ListenFamily& family : families) {
      TcpListener listener;
      listener.addr = family.addr;
      listener.port = port;
      listener.max_msg_len = max_msg_len;
      listener.socket_buffer_size = socket_buffer_size;
      listener.max_concurrent_sessions = sessions;
      listener.framing.separate_by_cr_lf = extra.SeparateTcpStreamWithCRLF.Value();
      config.tcp.push_back(std::move(listener));
    }
  }
  convert::PutSubtree(root, "network", NetworkToTree(config));
}

void MapStorage(const settings::COVSettings& document, ConfigTree& root, std::vector<MappingNote>* notes) {
  const auto& keep_period = document.Storage.KeepPeriod;
  std::vector<std::int32_t> items;
  items.reserve(keep_period.Count());
  for (std::uint32_t i = 0; i < keep_period.Count(); ++i) items.push_back(keep_period[i].Value());

  StorageConfig config;
  config.check_period = 360;
  config.flush_period = 500;
  config.folder.clear();
  config.keep_days = KeepDaysFromKeepPeriod(items, settings::PathOf(document, keep_period), notes);
  config.keep_gbs = 10000;
  config.hours_per_file = 24;
  convert::PutSubtree(root, "storage", StorageToTree(config));
}

}  // namespace recaster::mapping
