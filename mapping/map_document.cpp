// The migration plan of a version 5 settings document, and the tree branches made from it.
#include <algorithm>
#include <array>
#include <functional>

#include "mapping/mapping.h"
#include "settings/ov_settings.h"
#include "settings/setting_walk.h"
#include "text/utf8.h"

namespace recaster::mapping {
namespace {

using settings::COVSettings;
using settings::SettingView;
using settings::Var_t;
using settings::VarKind;

// Where version 6 listens for "bind any": static text, never a view into the document.
constexpr std::u16string_view kAnyIpv4 = u"0.0.0.0";
constexpr std::u16string_view kAnyIpv6 = u"::";

// A family the Network group turns on, with where its address is.
struct ListenOn {
  Family family;
  std::u16string_view addr;
};

// The families the Network group turns on, IPv4 first; the first `count` are in use.
struct Families {
  std::array<ListenOn, 2> items{};
  std::size_t count = 0;

  std::span<const ListenOn> InUse() const { return {items.data(), count}; }
};

Families FamiliesOf(const COVSettings& document) {
  const settings::VarNetwork_g& network = document.Network;
  Families families;
  if (network.Ipv4.Value()) {
    families.items[families.count++] = {Family::kIpv4, network.Ipv4BindAny.Value() ? kAnyIpv4 : std::u16string_view(network.Ipv4BindAddr.Value())};
  }
  if (network.Ipv6.Value()) {
    families.items[families.count++] = {Family::kIpv6, network.Ipv6BindAny.Value() ? kAnyIpv6 : std::u16string_view(network.Ipv6BindAddr.Value())};
  }
  return families;
}

// The value version 6 takes; a change is recorded, with the setting's path, in `adjustments`.
std::uint32_t Take(const Fitted& fit, const Var_t& setting, const COVSettings& document,
                   std::vector<Adjustment>& adjustments) {
  if (fit.reason) adjustments.push_back(Adjustment{&setting, settings::PathOf(document, setting), fit.before, fit.value, *fit.reason});
  return fit.value;
}

NetworkConfig PlanNetwork(const COVSettings& document, std::vector<Adjustment>& adjustments) {
  const settings::VarNetwork_g& network = document.Network;
  const settings::VarNetworkEx_g& extra = document.NetworkEx;
  const ListenerConfig initial;
  const TcpListener initial_tcp;
  const auto take = [&](const Fitted& fit, const Var_t& setting) { return Take(fit, setting, document, adjustments); };

  // A value is fitted (and recorded) once, and only when a listener carries it.
  const Families families = FamiliesOf(document);
  const bool udp = network.Udp.Value() && families.count != 0;
  const bool tcp = network.Tcp.Value() && families.count != 0;
  std::uint32_t max_msg_len = initial.max_msg_len;
  std::uint32_t socket_buffer_size = initial.socket_buffer_size;
  if (udp || tcp) {
    max_msg_len = take(Fit16(extra.MaxPacketSize.Value(), initial.max_msg_len), extra.MaxPacketSize);
    socket_buffer_size = take(Fit32(network.SocketBufferSize.Value(), initial.socket_buffer_size), network.SocketBufferSize);
  }

  NetworkConfig config;
  // The fields every listener has, for one family.
  const auto fill_common = [&](ListenerConfig& listener, const ListenOn& on, std::uint32_t port) {
    listener.addr = on.addr;
    listener.family = on.family;
    listener.port = static_cast<std::uint16_t>(port);
    listener.max_msg_len = static_cast<std::uint16_t>(max_msg_len);
    listener.socket_buffer_size = socket_buffer_size;
  };
  if (udp) {
    const std::uint32_t port = take(Fit16(network.UdpPort.Value(), initial.port), network.UdpPort);
    for (const ListenOn& on : families.InUse()) {
      fill_common(config.udp.emplace_back(), on, port);
    }
  }
  if (tcp) {
    const std::uint32_t port = take(Fit16(network.TcpPort.Value(), initial.port), network.TcpPort);
    const std::uint32_t sessions =
        take(Fit16(extra.MaxTcpClients.Value(), initial_tcp.max_concurrent_sessions), extra.MaxTcpClients);
    for (const ListenOn& on : families.InUse()) {
      TcpListener& listener = config.tcp.emplace_back();
      fill_common(listener, on, port);
      listener.max_concurrent_sessions = static_cast<std::uint16_t>(sessions);
      listener.framing.separate_by_cr_lf = extra.SeparateTcpStreamWithCRLF.Value();
    }
  }
  return config;
}

StorageConfig PlanStorage(const COVSettings& document, std::vector<Adjustment>& adjustments) {
  const auto& keep_period = document.Storage.KeepPeriod;
  StorageConfig config;
  config.check_period = 360;
  config.flush_period = 500;
  config.folder.clear();
  config.keep_days = Take(FitKeepDays({keep_period.begin(), keep_period.Count()}), keep_period, document, adjustments);
  config.keep_gbs = 10000;
  config.hours_per_file = 24;
  return config;
}

// Gives every leaf setting and every list outside list items its status, and keeps those to
// re-create; a carried group stands for everything it holds, and no list is entered.
class StatusWalk final : public settings::SettingVisitor {
 public:
  StatusWalk(const COVSettings& document, Plan& plan) : carried_(CarriedOver(document)), plan_(plan) {}

  void Value(const SettingView& setting) override { Decide(setting); }
  bool Begin(const SettingView& setting) override {
    if (setting.Kind() == VarKind::kList) {
      Decide(setting);
      return false;
    }
    const bool carried = IsCarried(setting);
    opened_.push_back(carried);
    if (carried) ++inside_carried_;
    return true;
  }
  void End(const SettingView&) override {
    if (opened_.back()) --inside_carried_;
    opened_.pop_back();
  }

 private:
  bool IsCarried(const SettingView& setting) const {
    return std::find(carried_.begin(), carried_.end(), &setting.Setting()) != carried_.end();
  }
  bool IsAdjusted(const SettingView& setting) const {
    return std::any_of(plan_.adjustments.begin(), plan_.adjustments.end(),
                       [&setting](const Adjustment& a) { return a.setting == &setting.Setting(); });
  }
  void Decide(const SettingView& setting) {
    SettingStatus status = SettingStatus::kDefault;
    if (inside_carried_ > 0 || IsCarried(setting)) {
      status = IsAdjusted(setting) ? SettingStatus::kAdjusted : SettingStatus::kCarried;
    } else if (!setting.IsDefault()) {
      status = SettingStatus::kRecreate;
      plan_.left_behind.push_back(setting);
    }
    plan_.statuses.emplace_back(&setting.Setting(), status);
  }

  std::vector<const Var_t*> carried_;
  Plan& plan_;
  std::vector<bool> opened_;
  int inside_carried_ = 0;
};

}  // namespace

SettingStatus Plan::StatusOf(const Var_t* setting) const {
  const auto found = std::lower_bound(statuses.begin(), statuses.end(), setting,
                                      [](const auto& entry, const Var_t* wanted) { return std::less<>()(entry.first, wanted); });
  return found != statuses.end() && found->first == setting ? found->second : SettingStatus::kNone;
}

Plan MakePlan(const COVSettings& document) {
  Plan plan;
  plan.network = PlanNetwork(document, plan.adjustments);
  plan.storage = PlanStorage(document, plan.adjustments);
  plan.keep_period = &document.Storage.KeepPeriod;
  StatusWalk walk(document, plan);
  settings::WalkSettings(document, walk);
  std::sort(plan.statuses.begin(), plan.statuses.end(),
            [](const auto& a, const auto& b) { return std::less<>()(a.first, b.first); });
  return plan;
}

tree::ConfigTree PlanToTree(const Plan& plan) {
  tree::ConfigTree tree;
  PutNetwork(plan.network, tree);
  PutStorage(plan.storage, tree);
  return tree;
}

std::vector<ListenFamily> ListenFamilies(const COVSettings& document) {
  const Families on = FamiliesOf(document);
  std::vector<ListenFamily> families;
  for (const ListenOn& family : on.InUse()) families.push_back({FamilyName(family.family), text::ToUtf8(family.addr)});
  return families;
}

// What the plan reads: the whole Network group, three NetworkEx settings and the retention list.
std::vector<const Var_t*> CarriedOver(const COVSettings& document) {
  return {&document.Network, &document.NetworkEx.MaxPacketSize, &document.NetworkEx.MaxTcpClients,
          &document.NetworkEx.SeparateTcpStreamWithCRLF, &document.Storage.KeepPeriod};
}

void MapNetwork(const COVSettings& document, tree::ConfigTree& root) { PutNetwork(MakePlan(document).network, root); }

void MapStorage(const COVSettings& document, tree::ConfigTree& root) { PutStorage(MakePlan(document).storage, root); }

}  // namespace recaster::mapping
