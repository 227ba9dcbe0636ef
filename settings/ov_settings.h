// File: settings/ov_settings.h - the version 5 settings groups with their keys, defaults and ranges,
// and the settings documents (server and common) that a settings file loads into.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "settings/var.h"
#include "xml/xml_document.h"

namespace recaster::settings {

// Members are declared one line per setting in element order; the constructor registers them so.
// Integer settings read {key, default, minimum, maximum[, unit]}; minimum and maximum both 0: no range.
// Texts marked Secrecy::kSecret (the two passwords) and Secrecy::kConnectionString (the database
// connection string) are the only settings whose values no reader of the model shows whole.

// --- server groups ---

// Group "General", mask 4.
class VarGeneral_g : public VarGroup_t {
 public:
  VarStr_t LogFolder{u"LogFolder", u""};
  VarInt_t LogKeepPeriod{u"LogKeepPeriod", 14, 0, 9999};

  VarGeneral_g();
  ~VarGeneral_g() override;
};

// Group "Storage", mask 16.
class VarStorage_g : public VarGroup_t {
 public:
  VarBool_t NoStorage{u"NoStorage", false};
  VarStr_t FolderPath{u"FolderPath", u""};
  VarVec_t<VarInt_t> KeepPeriod{u"KeepPeriod", Unit::kDays};  // retention periods
  VarBool_t RemoveEmptySources{u"RemoveEmptySources", false};
  VarInt_t DayTimeForDelete{u"DayTimeForDelete", 240, 0, 0};

  VarStorage_g();
  ~VarStorage_g() override;
};

// Group "RemConn", mask 8.
class VarRemConn_g : public VarGroup_t {
 public:
  VarBool_t Enable{u"Enable", false};
  VarInt_t Port{u"Port", 4010, 1, 65535};
  VarBool_t Secure{u"Secure", false};
  VarBool_t UsePassword{u"UsePassword", true};
  VarStr_t Password{u"Password", u"", Secrecy::kSecret};

  VarRemConn_g();
  ~VarRemConn_g() override;
};

// Group "Network", mask 2.
class VarNetwork_g : public VarGroup_t {
 public:
  VarBool_t Ipv4{u"Ipv4", true};
  VarBool_t Ipv4BindAny{u"Ipv4BindAny", true};
  VarStr_t Ipv4BindAddr{u"Ipv4BindAddr", u""};
  VarBool_t Ipv6{u"Ipv6", true};
  VarBool_t Ipv6BindAny{u"Ipv6BindAny", true};
  VarStr_t Ipv6BindAddr{u"Ipv6BindAddr", u""};
  VarBool_t Udp{u"Udp", true};
  VarInt_t UdpPort{u"UdpPort", 514, 1, 65535};
  VarBool_t Tcp{u"Tcp", false};
  VarInt_t TcpPort{u"TcpPort", 1468, 1, 65535};
  VarInt_t SocketBufferSize{u"SocketBufferSize", 524288, 0, 0};

  VarNetwork_g();
  ~VarNetwork_g() override;
};

// Group "NetworkEx", mask 0.
class VarNetworkEx_g : public VarGroup_t {
 public:
  VarInt_t MaxPacketSize{u"MaxPacketSize", 4096, 0, 99999};
  VarBool_t DropLargePackets{u"DropLargePackets", false};
  VarInt_t MaxQueueSize{u"MaxQueueSize", 50000, 10, 999999};
  VarInt_t MaxTcpClients{u"MaxTcpClients", 1000, 1, 99999};
  VarBool_t AddFirewallException{u"AddFirewallException", false};
  VarBool_t TracePackets{u"TracePackets", false};
  VarBool_t SeparateTcpStreamWithCRLF{u"SeparateTcpStreamWithCRLF", true};

  VarNetworkEx_g();
  ~VarNetworkEx_g() override;
};

// Group "Dns", mask 0.
class VarDns_g : public VarGroup_t {
 public:
  VarBool_t ResolveAddress{u"ResolveAddress", true};
  VarInt_t CacheDns{u"CacheDns", 168, 1, 9999};
  VarBool_t UseFqdn{u"UseFqdn", false};
  VarBool_t DetectIpWithinBody{u"DetectIpWithinBody", false};

  VarDns_g();
  ~VarDns_g() override;
};

// Group "Schedule" inside "Backup", mask 0.
class VarSchedule_g : public VarGroup_t {
 public:
  VarInt_t DayMask{u"DayMask", 0, 0, 127};
  VarInt_t EveryWeek{u"EveryWeek", 1, 1, 99};
  VarVec_t<VarInt_t> Times{u"Times"};

  VarSchedule_g();
  ~VarSchedule_g() override;
};

// Group "Backup", mask 0.
class VarBackup_g : public VarGroup_t {
 public:
  VarBool_t Enable{u"Enable", false};
  VarBool_t CreateSubfolder{u"CreateSubfolder", true};
  VarStr_t Subfolder{u"Subfolder", u"$yyy-$M-$d"};
  VarStr_t FilenamePostfix{u"FilenamePostfix", u".bak"};
  VarStr_t Folder{u"Folder", u""};
  VarInt_t PagesPerStep{u"PagesPerStep", 4096, 1, 99999};
  VarInt_t DelayBetweenSteps{u"DelayBetweenSteps", 20, 0, 9999};
  VarSchedule_g Schedule;

  VarBackup_g();
  ~VarBackup_g() override;
};

// --- export, alert and forwarder groups ---

// Group "ExporterToText" inside "ExportToText", mask 0.
class VarTextExporter_t : public VarGroup_t {
 public:
  VarStr_t RootFolder{u"RootFolder", u""};
  VarBool_t CreateSubfolder{u"CreateSubfolder", false};
  VarStr_t Subfolder{u"Subfolder", u"%SOURCE_IP%"};
  VarStr_t Filename{u"Filename", u"$yyy-$M-$d.csv"};
  VarBool_t TrimLarge{u"TrimLarge", true};
  VarInt_t TrimToSize{u"TrimToSize", 2048, 1, 99999};
  VarStr_t FileHeader{u"FileHeader", u""};
  VarStr_t MessageTemplate{u"MessageTemplate", u"%DATE_SHORT% %TIME_SHORT%,%SEVERITY%,%SOURCE_IP%,%MESSAGE%"};
  VarStr_t FileFooter{u"FileFooter", u""};
  VarInt_t PreprocessType{u"PreprocessType", 1, 0, 0};
  VarInt_t Newline{u"Newline", 0, 0, 2};
  VarInt_t Encoding{u"Encoding", 0, 0, 2};
  VarInt_t Codepage{u"Codepage", 0, 0, 0};
  VarBool_t FileSizeLimit{u"FileSizeLimit", false};
  VarInt_t MaxFileSizeKB{u"MaxFileSizeKB", 10240, 1, 99999999, Unit::kKilobytes};
  VarInt_t MaxOpenedFilesNum{u"MaxOpenedFilesNum", 200, 1, 999};

  VarTextExporter_t();
  ~VarTextExporter_t() override;
};

// Group "ExportToText", mask 0.
class VarExportToText_g : public VarGroup_t {
 public:
  VarBool_t Enabled{u"Enabled", false};
  VarInt_t MaxQueueSize{u"MaxQueueSize", 50000, 10, 999999};
  VarBool_t UseFilter{u"UseFilter", false};
  VarSF_t Filter{u"Filter"};
  VarTextExporter_t ExporterToText;

  VarExportToText_g();
  ~VarExportToText_g() override;
};

// Group "ExporterToDb" inside "ExportToDb", mask 0.
class VarDbExporter_t : public VarGroup_t {
 public:
  VarStr_t ConnString{u"ConnString", u"", Secrecy::kConnectionString};  // may hold a password
  VarBool_t UseTransactions{u"UseTransactions", false};
  VarStr_t CmdTemplate{u"CmdTemplate",
                       u"INSERT INTO Syslogs (Collected, IP, Facility, Severity, Message) VALUES ('$yyy-$M-$d "
                       u"$H:$m:$s', %SOURCE_IP%, %FACILITY%, %SEVERITY%, %MESSAGE%);"};
  VarBool_t TrimLarge{u"TrimLarge", true};
  VarInt_t TrimToSize{u"TrimToSize", 2048, 1, 99999};

  VarDbExporter_t();
  ~VarDbExporter_t() override;
};

// Group "ExportToDb", mask 0. Its filter's key is "filter", in lower case, unlike every other filter.
class VarExportToDb_g : public VarGroup_t {
 public:
  VarBool_t Enabled{u"Enabled", false};
  VarInt_t MaxQueueSize{u"MaxQueueSize", 50000, 10, 999999};
  VarBool_t UseFilter{u"UseFilter", false};
  VarSF_t filter{u"filter"};
  VarDbExporter_t ExporterToDb;

  VarExportToDb_g();
  ~VarExportToDb_g() override;
};

// Group "Emailer", mask 0: the mail server connection.
class VarEmailer_g : public VarGroup_t {
 public:
  VarStr_t Server{u"Server", u""};
  VarInt_t Port{u"Port", 25, 1, 65535};
  VarInt_t AuthType{u"AuthType", 0, 0, 3};
  VarInt_t Encryption{u"Encryption", 0, 0, 2};
  VarStr_t Username{u"Username", u""};
  VarStr_t Password{u"Password", u"", Secrecy::kSecret};
  VarStr_t From{u"From", u""};
  VarInt_t Delay{u"Delay", 100, 0, 999999};

  VarEmailer_g();
  ~VarEmailer_g() override;
};

// One alert rule, an item of "Alerts"; its own key "EmailAlert" is never written.
class VarEmailAlert_t : public VarGroup_t {
 public:
  VarBool_t Enabled{u"Enabled", false};
  VarStr_t To{u"To", u""};
  VarStr_t Subject{u"Subject", u"[%SEVERITY%] %SOURCE_IP%"};
  VarStr_t Body{u"Body", u"%MESSAGE%"};
  VarInt_t Format{u"Format", 0, 0, 1};
  VarSF_t Filter{u"Filter"};

  VarEmailAlert_t();
  ~VarEmailAlert_t() override;
};

// Group "EmailAlerts", mask 0.
class VarEmailAlerts_g : public VarGroup_t {
 public:
  VarBool_t Enabled{u"Enabled", false};
  VarInt_t MaxQueueSize{u"MaxQueueSize", 1000, 10, 99999};
  VarBool_t TrimLarge{u"TrimLarge", true};
  VarInt_t TrimToSize{u"TrimToSize", 2048, 1, 99999};
  VarInt_t Delay{u"Delay", 100, 0, 99999};
  VarVec_t<VarEmailAlert_t> Alerts{u"Alerts"};

  VarEmailAlerts_g();
  ~VarEmailAlerts_g() override;
};

// One forwarding rule, an item of "Forwarders"; its own key "SyslogForwarder" is never written.
class VarSyslogForwarder_t : public VarGroup_t {
 public:
  VarBool_t Enabled{u"Enabled", false};
  VarStr_t TargetServer{u"TargetServer", u""};
  VarInt_t SyslogProto{u"SyslogProto", 0, 0, 1};
  VarInt_t SyslogPort{u"SyslogPort", 514, 1, 65535};
  VarSF_t Filter{u"Filter"};

  VarSyslogForwarder_t();
  ~VarSyslogForwarder_t() override;
};

// Group "SyslogForwarders", mask 0.
class VarSyslogForwarders_g : public VarGroup_t {
 public:
  VarBool_t Enabled{u"Enabled", false};
  VarInt_t MaxQueueSize{u"MaxQueueSize", 20000, 1, 99999};
  VarBool_t TrimLarge{u"TrimLarge", true};
  VarInt_t TrimToSize{u"TrimToSize", 2048, 1, 99999};
  VarVec_t<VarSyslogForwarder_t> Forwarders{u"Forwarders"};

  VarSyslogForwarders_g();
  ~VarSyslogForwarders_g() override;
};

// --- common (viewer) groups ---

// The viewer's default message details: 414 code units of HTML, ending in an empty line.
extern const char16_t kDefaultDetailsTemplate[];
// The viewer's default details style sheet: 655 code units, 46 lines each ended by CR LF.
extern const char16_t kDefaultDetailsStyle[];

// Group "Processing", mask 0.
class VarProcessing_g : public VarGroup_t {
 public:
  VarInt_t DefSeverity{u"DefSeverity", 7, 0, 7, Unit::kSeverity};
  VarInt_t DefFacility{u"DefFacility", 16, 0, 23, Unit::kFacility};
  VarBool_t ForceCp{u"ForceCp", false};
  VarInt_t CodePage{u"CodePage", 0, 0, 0};
  VarBool_t RemoveTrailChars{u"RemoveTrailChars", true};
  VarBool_t ReplaceNonPrint{u"ReplaceNonPrint", true};
  VarBool_t NonPrintToHex{u"NonPrintToHex", true};
  VarInt_t NonPrintCustomChar{u"NonPrintCustomChar", 46, 0, 0, Unit::kCharacter};
  VarBool_t ReplaceMultiWithOne{u"ReplaceMultiWithOne", false};
  VarBool_t DnsAfterAddress{u"DnsAfterAddress", true};

  VarProcessing_g();
  ~VarProcessing_g() override;
};

// Group "Format", mask 0.
class VarFormat_g : public VarGroup_t {
 public:
  VarBool_t UseSystemDate{u"UseSystemDate", true};
  VarStr_t DateShortFormat{u"DateShortFormat", u"M/d/yyyy"};
  VarStr_t DateLongFormat{u"DateLongFormat", u"dddd, MMMM dd, yyyy"};
  VarInt_t FirstWeekDay{u"FirstWeekDay", -1, -1, 6};
  VarBool_t UseSystemTime{u"UseSystemTime", true};
  VarBool_t AddMilliseconds{u"AddMilliseconds", true};
  VarStr_t TimeShortFormat{u"TimeShortFormat", u"h:mm tt"};
  VarStr_t TimeLongFormat{u"TimeLongFormat", u"h:mm:ss.### tt"};

  VarFormat_g();
  ~VarFormat_g() override;
};

// One colour rule, an item of "Colors"; its own key "Color" is never written.
class VarColor_t : public VarGroup_t {
 public:
  VarInt_t TextColor{u"TextColor", 0, 0, 0, Unit::kColour};
  VarInt_t BackColor{u"BackColor", 16777215, 0, 0, Unit::kColour};
  VarSF_t Filter{u"Filter"};

  VarColor_t();
  ~VarColor_t() override;
};

// Group "Grid", mask 0.
class VarGrid_g : public VarGroup_t {
 public:
  VarStr_t DetailsTemplate{u"DetailsTemplate", kDefaultDetailsTemplate};
  VarStr_t DetailsStyle{u"DetailsStyle", kDefaultDetailsStyle};
  VarInt_t MaxNumberOfMessages{u"MaxNumberOfMessages", 50000, 1000, 999999};
  VarBool_t UseColors{u"UseColors", false};
  VarVec_t<VarColor_t> Colors{u"Colors"};
  VarInt_t LoadAtOnce{u"LoadAtOnce", 500, 0, 0};

  VarGrid_g();
  ~VarGrid_g() override;
};

// --- documents ---

// A settings document: an ordered list of top-level groups, each the child element of the file's root
// element named by its key. Not copyable: it points at its own members.
class CSTSettings3 {
 public:
  virtual ~CSTSettings3();
  // Writes every group into `root`, reusing a group element that is already there; returns 0.
  virtual std::int32_t Save(xml::XmlNode& root) const;
  // Rebuilds the name indexes of `root`'s tree once, then (after a reset of each group when `reset`)
  // loads every group from its element; what `root` lacks stays. Returns 0.
  virtual std::int32_t Load(xml::XmlNode& root, bool reset);

  // Parses the file and loads from its root element, whatever its name, without reset. Returns 0, or
  // the parser's non-zero status (then no setting has changed), or 14 when memory for list items ran
  // out part-way (then the settings are to be discarded).
  [[nodiscard]] std::int32_t LoadFromFile(const std::u16string& path);
  // The same, with the parser's reason and the place of a failure.
  [[nodiscard]] xml::XmlLoadResult LoadFromFileWithResult(const std::u16string& path);
  // The same from the file's bytes in memory (standard input), with the same limit and refusals.
  [[nodiscard]] xml::XmlLoadResult LoadFromBytesWithResult(std::string_view bytes);

  // The top-level groups in element order.
  const std::vector<Var_t*>& Groups() const { return groups_; }

  CSTSettings3(const CSTSettings3&) = delete;
  CSTSettings3& operator=(const CSTSettings3&) = delete;

 protected:
  CSTSettings3();
  // Appends groups after those already registered.
  void AddGroups(std::initializer_list<Var_t*> groups);

 private:
  // Loads from the parsed document when `parsed` succeeded; the parse's result otherwise.
  xml::XmlLoadResult LoadParsed(xml::XmlDocument& document, xml::XmlLoadResult parsed);

  std::vector<Var_t*> groups_;  // not owned: members of the derived document
};

// The settings shared by the server and its viewer: Processing, Format, Grid.
class COVCommonSets : public CSTSettings3 {
 public:
  VarProcessing_g Processing;
  VarFormat_g Format;
  VarGrid_g Grid;

  COVCommonSets();
  ~COVCommonSets() override;
};

// The server settings document: the three common groups, then the twelve server groups.
class COVSettings : public COVCommonSets {
 public:
  VarGeneral_g General;
  VarStorage_g Storage;
  VarRemConn_g RemConn;
  VarNetwork_g Network;
  VarNetworkEx_g NetworkEx;
  VarDns_g Dns;
  VarBackup_g Backup;
  VarExportToText_g ExportToText;
  VarExportToDb_g ExportToDb;
  VarEmailer_g Emailer;
  VarEmailAlerts_g EmailAlerts;
  VarSyslogForwarders_g SyslogForwarders;

  COVSettings();
  ~COVSettings() override;
};

}  // namespace recaster::settings
