// Writes samples/ov_server_settings.cfg: a realistic server settings file with non-default values in
// most groups, for the tests and for trying the command-line program by hand.
// Usage: make_sample [output path]
#include <cstdio>
#include <string>

#include "settings/ov_settings.h"
#include "tests/support/xml_writer.h"

namespace {

using recaster::settings::COVSettings;
using recaster::xml::MessageFilter;

MessageFilter SeverityFilter(const char16_t* name, std::int32_t mask) {
  MessageFilter f;
  f.name = name;
  f.severityCheck = true;
  f.severityMask = mask;
  return f;
}

// The display: processing, formats and the grid's colours.
void FillDisplay(COVSettings& doc) {
  doc.Processing.DefFacility.SetValue(1);
  doc.Processing.ReplaceMultiWithOne.SetValue(true);
  doc.Format.UseSystemDate.SetValue(false);
  doc.Format.DateShortFormat.SetValue(u"dd.MM.yyyy");
  doc.Format.FirstWeekDay.SetValue(0);

  doc.Grid.UseColors.SetValue(true);
  doc.Grid.MaxNumberOfMessages.SetValue(100000);
  doc.Grid.Colors.Resize(4);
  const struct {
    const char16_t* name;
    std::int32_t mask, text, back;
  } colours[] = {{u"Emergency to error", 0x0F, 0xFFFFFF, 0x0000C0},
                 {u"Warning", 0x10, 0x000000, 0x00FFFF},
                 {u"Notice", 0x20, 0x000000, 0xFFFFE0},
                 {u"Debug", 0x80, 0x808080, 0xFFFFFF}};
  for (std::uint32_t i = 0; i < 4; ++i) {
    doc.Grid.Colors[i].TextColor.SetValue(colours[i].text);
    doc.Grid.Colors[i].BackColor.SetValue(colours[i].back);
    doc.Grid.Colors[i].Filter.Value() = SeverityFilter(colours[i].name, colours[i].mask);
  }
}

// The program's own logs and the message store.
void FillStorage(COVSettings& doc) {
  doc.General.LogFolder.SetValue(u"C:\\ProgramData\\Ornvale\\Logs");
  doc.General.LogKeepPeriod.SetValue(30);

  doc.Storage.FolderPath.SetValue(u"D:\\SyslogData");
  doc.Storage.KeepPeriod.Resize(3);
  doc.Storage.KeepPeriod[0].SetValue(30);
  doc.Storage.KeepPeriod[1].SetValue(90);
  doc.Storage.KeepPeriod[2].SetValue(365);
  doc.Storage.RemoveEmptySources.SetValue(true);
  doc.Storage.DayTimeForDelete.SetValue(180);
}

// Remote viewers, the listeners and name lookups.
void FillNetwork(COVSettings& doc) {
  doc.RemConn.Enable.SetValue(true);
  doc.RemConn.Port.SetValue(4011);
  doc.RemConn.Secure.SetValue(true);
  doc.RemConn.Password.SetValue(u"viewer-pass");

  doc.Network.Ipv4BindAny.SetValue(false);
  doc.Network.Ipv4BindAddr.SetValue(u"192.0.2.10");
  doc.Network.Ipv6BindAny.SetValue(false);
  doc.Network.Ipv6BindAddr.SetValue(u"2001:db8::10");
  doc.Network.UdpPort.SetValue(1514);
  doc.Network.Tcp.SetValue(true);
  doc.Network.TcpPort.SetValue(1601);
  doc.Network.SocketBufferSize.SetValue(1048576);

  doc.NetworkEx.MaxPacketSize.SetValue(8192);
  doc.NetworkEx.DropLargePackets.SetValue(true);
  doc.NetworkEx.MaxTcpClients.SetValue(250);
  doc.NetworkEx.SeparateTcpStreamWithCRLF.SetValue(false);

  doc.Dns.CacheDns.SetValue(24);
  doc.Dns.UseFqdn.SetValue(true);
}

// The backup and the exports to text files and to a database.
void FillExports(COVSettings& doc) {
  doc.Backup.Enable.SetValue(true);
  doc.Backup.Folder.SetValue(u"E:\\Backup\\Syslog");
  doc.Backup.Schedule.DayMask.SetValue(62);  // Monday to Friday
  doc.Backup.Schedule.Times.Resize(2);
  doc.Backup.Schedule.Times[0].SetValue(120);
  doc.Backup.Schedule.Times[1].SetValue(780);

  doc.ExportToText.Enabled.SetValue(true);
  doc.ExportToText.UseFilter.SetValue(true);
  doc.ExportToText.Filter.Value() = SeverityFilter(u"Errors only", 0x0F);
  doc.ExportToText.ExporterToText.RootFolder.SetValue(u"D:\\Export");
  doc.ExportToText.ExporterToText.CreateSubfolder.SetValue(true);
  doc.ExportToText.ExporterToText.FileSizeLimit.SetValue(true);
  doc.ExportToText.ExporterToText.MaxFileSizeKB.SetValue(51200);

  doc.ExportToDb.Enabled.SetValue(true);
  doc.ExportToDb.UseFilter.SetValue(true);
  doc.ExportToDb.filter.Value().name = u"Auth";
  doc.ExportToDb.filter.Value().facilityCheck = true;
  doc.ExportToDb.filter.Value().facilityMask = (1 << 4) | (1 << 10);
  doc.ExportToDb.ExporterToDb.ConnString.SetValue(
      u"Driver={SQL Server};Server=db01.example.com;Database=Syslog;Trusted_Connection=yes;");
  doc.ExportToDb.ExporterToDb.UseTransactions.SetValue(true);
}

// The mail server and two alerts.
void FillEmail(COVSettings& doc) {
  doc.Emailer.Server.SetValue(u"smtp.example.com");
  doc.Emailer.Port.SetValue(587);
  doc.Emailer.AuthType.SetValue(1);
  doc.Emailer.Encryption.SetValue(2);
  doc.Emailer.Username.SetValue(u"alerts");
  doc.Emailer.Password.SetValue(u"mail-pass");
  doc.Emailer.From.SetValue(u"syslog@example.com");

  doc.EmailAlerts.Enabled.SetValue(true);
  doc.EmailAlerts.Alerts.Resize(2);
  doc.EmailAlerts.Alerts[0].Enabled.SetValue(true);
  doc.EmailAlerts.Alerts[0].To.SetValue(u"ops@example.com");
  doc.EmailAlerts.Alerts[0].Filter.Value() = SeverityFilter(u"Critical", 0x07);
  doc.EmailAlerts.Alerts[1].Enabled.SetValue(true);
  doc.EmailAlerts.Alerts[1].To.SetValue(u"security@example.com");
  doc.EmailAlerts.Alerts[1].Subject.SetValue(u"Login failure on %SOURCE_NAME%");
  doc.EmailAlerts.Alerts[1].Format.SetValue(1);
  MessageFilter& login = doc.EmailAlerts.Alerts[1].Filter.Value();
  login.name = u"Failed logins";
  login.messageCheck = true;
  login.content = u"Failed password for *";
  login.contentMatch.wildcards = true;
  login.tagCheck = true;
  login.tags = {u"sshd"};
}

// Three forwarders, each for one source.
void FillForwarders(COVSettings& doc) {
  doc.SyslogForwarders.Enabled.SetValue(true);
  doc.SyslogForwarders.Forwarders.Resize(3);
  const struct {
    const char16_t* server;
    std::int32_t proto, port;
    const char16_t* source;
  } forwarders[] = {{u"198.51.100.20", 0, 514, u"192.0.2.1"},
                    {u"198.51.100.21", 1, 1514, u"192.0.2.2"},
                    {u"logs.example.net", 1, 6514, u"192.0.2.3"}};
  for (std::uint32_t i = 0; i < 3; ++i) {
    auto& f = doc.SyslogForwarders.Forwarders[i];
    f.Enabled.SetValue(i != 2);
    f.TargetServer.SetValue(forwarders[i].server);
    f.SyslogProto.SetValue(forwarders[i].proto);
    f.SyslogPort.SetValue(forwarders[i].port);
    f.Filter.Value().name = u"From one source";
    f.Filter.Value().sourceCheck = true;
    f.Filter.Value().sources = {forwarders[i].source};
  }
}

void Fill(COVSettings& doc) {
  FillDisplay(doc);
  FillStorage(doc);
  FillNetwork(doc);
  FillExports(doc);
  FillEmail(doc);
  FillForwarders(doc);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : RECASTER_SOURCE_DIR "/samples/ov_server_settings.cfg";
  COVSettings doc;
  Fill(doc);
  recaster::xml::XmlNode root(u"RIZavoza");
  doc.Save(root);
  if (!recaster::testing::WriteBytesToFile(path, recaster::testing::WriteXmlFile(root))) {
    std::fprintf(stderr, "make_sample: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}
