// The version 5 settings groups and documents: registration of children and groups, and loading a
// document from a settings file.
#include "settings/ov_settings.h"

#include <new>

#include "platform/platform.h"

namespace recaster::settings {

const char16_t kDefaultDetailsTemplate[] =
    u"<table cellpadding=\"3\" class=\"frame stSev%SEVERITY_NUM%\" style=\"width: 100%\" cellspacing=\"1\">\r\n"
    u" <tr>\r\n"
    u"<td class=\"style1\">%SEVERITY% / %FACILITY%</td>\r\n"
    u"  <td class=\"style1\">%SOURCE_NAME% (%SOURCE_IP%)</td>\r\n"
    u"  <td style=\"width: 100%\">&nbsp;</td>\r\n"
    u"  <td class=\"style2\" style=\"text-align: right\">%DATE_LONG% %TIME_LONG%</td>\r\n"
    u" </tr>\r\n"
    u"</table>\r\n"
    u"<div id=\"vp\">%VENDOR_PACK%</div>\r\n"
    u"<div id=\"msg\"><p>%MESSAGE%</p></div>\r\n"
    u"\r\n";

const char16_t kDefaultDetailsStyle[] =
    u"* {\r\n"
    u" font-family: Verdana, Arial, sans-serif;\r\n"
    u" font-size: 10px;\r\n"
    u"}\r\n"
    u"table, td {\r\n"
    u" border-width: 0;\r\n"
    u"}\r\n"
    u".style1 {\r\n"
    u" border: 1px solid #CCCCCC;\r\n"
    u" white-space: nowrap;\r\n"
    u"}\r\n"
    u".style2 {\r\n"
    u" white-space: nowrap;\r\n"
    u"}\r\n"
    u"#vp {\r\n"
    u" float: right;\r\n"
    u" width: 50%;\r\n"
    u" padding-top:0.5em; \r\n"
    u"}\r\n"
    u"#vp h2 {\r\n"
    u" margin:0; padding:0;\r\n"
    u"}\r\n"
    u"#vp p {\r\n"
    u" margin:0 0 1em 0;\r\n"
    u"}\r\n"
    u"#msg {\r\n"
    u" margin-top:0.7em;\r\n"
    u" padding-top:0;\r\n"
    u"}\r\n"
    u"#msg p {\r\n"
    u" font-size: 11px;\r\n"
    u" margin-top:0;\r\n"
    u" padding-top:0;\r\n"
    u"}\r\n"
    u".frame {\r\n"
    u" border-bottom: 3px solid black;\r\n"
    u"}\r\n"
    u".stSev0, .stSev1, .stSev2, .stSev3, {\r\n"
    u" border-bottom-color: red;\r\n"
    u"}\r\n"
    u".stSev4 {\r\n"
    u" border-bottom-color: blue;\r\n"
    u"}\r\n"
    u".stSev7 {\r\n"
    u" border-bottom-color: green;\r\n"
    u"}\r\n";

VarGeneral_g::VarGeneral_g() : VarGroup_t(u"General", 4) { SetChildren({&LogFolder, &LogKeepPeriod}); }
VarGeneral_g::~VarGeneral_g() = default;

VarStorage_g::VarStorage_g() : VarGroup_t(u"Storage", 16) {
  SetChildren({&NoStorage, &FolderPath, &KeepPeriod, &RemoveEmptySources, &DayTimeForDelete});
}
VarStorage_g::~VarStorage_g() = default;

VarRemConn_g::VarRemConn_g() : VarGroup_t(u"RemConn", 8) {
  SetChildren({&Enable, &Port, &Secure, &UsePassword, &Password});
}
VarRemConn_g::~VarRemConn_g() = default;

VarNetwork_g::VarNetwork_g() : VarGroup_t(u"Network", 2) {
  SetChildren({&Ipv4, &Ipv4BindAny, &Ipv4BindAddr, &Ipv6, &Ipv6BindAny, &Ipv6BindAddr, &Udp, &UdpPort, &Tcp,
               &TcpPort, &SocketBufferSize});
}
VarNetwork_g::~VarNetwork_g() = default;

VarNetworkEx_g::VarNetworkEx_g() : VarGroup_t(u"NetworkEx", 0) {
  SetChildren({&MaxPacketSize, &DropLargePackets, &MaxQueueSize, &MaxTcpClients, &AddFirewallException,
               &TracePackets, &SeparateTcpStreamWithCRLF});
}
VarNetworkEx_g::~VarNetworkEx_g() = default;

VarDns_g::VarDns_g() : VarGroup_t(u"Dns", 0) {
  SetChildren({&ResolveAddress, &CacheDns, &UseFqdn, &DetectIpWithinBody});
}
VarDns_g::~VarDns_g() = default;

VarSchedule_g::VarSchedule_g() : VarGroup_t(u"Schedule", 0) { SetChildren({&DayMask, &EveryWeek, &Times}); }
VarSchedule_g::~VarSchedule_g() = default;

VarBackup_g::VarBackup_g() : VarGroup_t(u"Backup", 0) {
  SetChildren({&Enable, &CreateSubfolder, &Subfolder, &FilenamePostfix, &Folder, &PagesPerStep,
               &DelayBetweenSteps, &Schedule});
}
VarBackup_g::~VarBackup_g() = default;

VarTextExporter_t::VarTextExporter_t() : VarGroup_t(u"ExporterToText", 0) {
  SetChildren({&RootFolder, &CreateSubfolder, &Subfolder, &Filename, &TrimLarge, &TrimToSize, &FileHeader,
               &MessageTemplate, &FileFooter, &PreprocessType, &Newline, &Encoding, &Codepage, &FileSizeLimit,
               &MaxFileSizeKB, &MaxOpenedFilesNum});
}
VarTextExporter_t::~VarTextExporter_t() = default;

VarExportToText_g::VarExportToText_g() : VarGroup_t(u"ExportToText", 0) {
  SetChildren({&Enabled, &MaxQueueSize, &UseFilter, &Filter, &ExporterToText});
}
VarExportToText_g::~VarExportToText_g() = default;

VarDbExporter_t::VarDbExporter_t() : VarGroup_t(u"ExporterToDb", 0) {
  SetChildren({&ConnString, &UseTransactions, &CmdTemplate, &TrimLarge, &TrimToSize});
}
VarDbExporter_t::~VarDbExporter_t() = default;

VarExportToDb_g::VarExportToDb_g() : VarGroup_t(u"ExportToDb", 0) {
  SetChildren({&Enabled, &MaxQueueSize, &UseFilter, &filter, &ExporterToDb});
}
VarExportToDb_g::~VarExportToDb_g() = default;

VarEmailer_g::VarEmailer_g() : VarGroup_t(u"Emailer", 0) {
  SetChildren({&Server, &Port, &AuthType, &Encryption, &Username, &Password, &From, &Delay});
}
VarEmailer_g::~VarEmailer_g() = default;

VarEmailAlert_t::VarEmailAlert_t() : VarGroup_t(u"EmailAlert", 0) {
  SetChildren({&Enabled, &To, &Subject, &Body, &Format, &Filter});
}
VarEmailAlert_t::~VarEmailAlert_t() = default;

VarEmailAlerts_g::VarEmailAlerts_g() : VarGroup_t(u"EmailAlerts", 0) {
  SetChildren({&Enabled, &MaxQueueSize, &TrimLarge, &TrimToSize, &Delay, &Alerts});
}
VarEmailAlerts_g::~VarEmailAlerts_g() = default;

VarSyslogForwarder_t::VarSyslogForwarder_t() : VarGroup_t(u"SyslogForwarder", 0) {
  SetChildren({&Enabled, &TargetServer, &SyslogProto, &SyslogPort, &Filter});
}
VarSyslogForwarder_t::~VarSyslogForwarder_t() = default;

VarSyslogForwarders_g::VarSyslogForwarders_g() : VarGroup_t(u"SyslogForwarders", 0) {
  SetChildren({&Enabled, &MaxQueueSize, &TrimLarge, &TrimToSize, &Forwarders});
}
VarSyslogForwarders_g::~VarSyslogForwarders_g() = default;

VarProcessing_g::VarProcessing_g() : VarGroup_t(u"Processing", 0) {
  SetChildren({&DefSeverity, &DefFacility, &ForceCp, &CodePage, &RemoveTrailChars, &ReplaceNonPrint,
               &NonPrintToHex, &NonPrintCustomChar, &ReplaceMultiWithOne, &DnsAfterAddress});
}
VarProcessing_g::~VarProcessing_g() = default;

VarFormat_g::VarFormat_g() : VarGroup_t(u"Format", 0) {
  SetChildren({&UseSystemDate, &DateShortFormat, &DateLongFormat, &FirstWeekDay, &UseSystemTime,
               &AddMilliseconds, &TimeShortFormat, &TimeLongFormat});
}
VarFormat_g::~VarFormat_g() = default;

VarColor_t::VarColor_t() : VarGroup_t(u"Color", 0) { SetChildren({&TextColor, &BackColor, &Filter}); }
VarColor_t::~VarColor_t() = default;

VarGrid_g::VarGrid_g() : VarGroup_t(u"Grid", 0) {
  SetChildren({&DetailsTemplate, &DetailsStyle, &MaxNumberOfMessages, &UseColors, &Colors, &LoadAtOnce});
}
VarGrid_g::~VarGrid_g() = default;

// --- documents ---

CSTSettings3::CSTSettings3() = default;
CSTSettings3::~CSTSettings3() = default;

void CSTSettings3::AddGroups(std::initializer_list<Var_t*> groups) {
  groups_.insert(groups_.end(), groups.begin(), groups.end());
}

std::int32_t CSTSettings3::Save(xml::XmlNode& root) const {
  SaveMembers(groups_, root);
  return 0;
}

std::int32_t CSTSettings3::Load(xml::XmlNode& root, bool reset) {
  root.RebuildIndex();
  for (Var_t* group : groups_) {
    if (group == nullptr) continue;
    if (reset) group->Reset();
    if (!root.IsValid()) continue;
    const xml::XmlNode& element = root.FindChild(group->GetKey());
    if (element.IsValid()) group->Load(element);
  }
  return 0;
}

// The tree lives only for this call; the document's members change only after a successful parse.
xml::XmlLoadResult CSTSettings3::LoadFromFileWithResult(const std::u16string& path) {
  xml::XmlDocument document(u"RIZavoza");
  return LoadParsed(document, document.LoadWithResult(path));
}

xml::XmlLoadResult CSTSettings3::LoadFromBytesWithResult(std::string_view bytes) {
  xml::XmlDocument document(u"RIZavoza");
  return LoadParsed(document, document.LoadFromBytes(bytes));
}

xml::XmlLoadResult CSTSettings3::LoadParsed(xml::XmlDocument& document, xml::XmlLoadResult result) {
  if (result.status != 0) return result;
  // Lists make as many items as the file holds: no memory for them fails the load like no memory for
  // the tree.
  try {
    result.status = Load(document, false);
  } catch (const std::bad_alloc&) {
    result.status = static_cast<std::int32_t>(platform::kOutOfMemory);
    result.error = xml::XmlError::kOutOfMemory;
  }
  return result;
}

std::int32_t CSTSettings3::LoadFromFile(const std::u16string& path) { return LoadFromFileWithResult(path).status; }

COVCommonSets::COVCommonSets() { AddGroups({&Processing, &Format, &Grid}); }
COVCommonSets::~COVCommonSets() = default;

COVSettings::COVSettings() {
  AddGroups({&General, &Storage, &RemConn, &Network, &NetworkEx, &Dns, &Backup, &ExportToText, &ExportToDb,
             &Emailer, &EmailAlerts, &SyslogForwarders});
}
COVSettings::~COVSettings() = default;

}  // namespace recaster::settings
