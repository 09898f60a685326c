// task_schema_test.cpp: definitions checked against the task schema: what Windows refuses, with
// its code and description, and definitions as Windows exports them, accepted.
#include <algorithm>
#include <chrono>
#include <string>

#include "task_test_support.hpp"

namespace {

using namespace winemu_test;
using TaskSchema = TaskServiceTest;

// The body goes on line 3, so that each expected position is (3,column).
std::u16string definition(const std::string& body) {
    return u16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
               "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n" +
               body + "\n</Task>\n");
}

std::string times(int count, const std::string& text) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text;
    return out;
}

TEST_F(TaskSchema, RefusedAsWindowsRefusesThem) {
    const struct {
        const char* what;
        std::string body;
        HRESULT code;
        std::string description;
    } cases[] = {
        {"unknown element in Exec",
         "<Actions><Exec><Command>x</Command><Bogus/></Exec></Actions>",
         SCHED_E_UNEXPECTEDNODE, "(3,43):Bogus:"},
        {"StartBoundary not a date",
         "<Triggers><TimeTrigger><StartBoundary>yesterday</StartBoundary></TimeTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,39):StartBoundary:yesterday"},
        {"29 February of a common year",
         "<Triggers><TimeTrigger><StartBoundary>2023-02-29T10:00:00</StartBoundary></TimeTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,39):StartBoundary:2023-02-29T10:00:00"},
        {"zone beyond 14 hours",
         "<RegistrationInfo><Date>2024-01-01T00:00:00+15:00</Date></RegistrationInfo><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,25):Date:2024-01-01T00:00:00+15:00"},
        {"known element in another namespace",
         "<Settings><x:Enabled xmlns:x=\"urn:x\">true</x:Enabled></Settings><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_NAMESPACE, "(3,38):Enabled:urn:x"},
        {"Settings twice",
         "<Settings/><Settings/><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_TOO_MANY_NODES, "(3,22):Settings:"},
        {"event trigger out of its sequence",
         "<Triggers><EventTrigger><Delay>PT1M</Delay><Subscription>q</Subscription></EventTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_UNEXPECTEDNODE, "(3,58):Subscription:"},
        {"common trigger element after the kind's own",
         "<Triggers><BootTrigger><Delay>PT1M</Delay><Enabled>true</Enabled></BootTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_UNEXPECTEDNODE, "(3,52):Enabled:"},
        {"calendar trigger without schedule",
         "<Triggers><CalendarTrigger><StartBoundary>2024-01-01T00:00:00</StartBoundary></CalendarTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_MISSINGNODE, "(3,28):ScheduleByDay:"},
        {"calendar trigger with two schedules",
         "<Triggers><CalendarTrigger><ScheduleByDay/><ScheduleByWeek/></CalendarTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_UNEXPECTEDNODE, "(3,60):ScheduleByWeek:"},
        {"time trigger without StartBoundary",
         "<Triggers><TimeTrigger><Enabled>true</Enabled></TimeTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_MISSINGNODE, "(3,24):StartBoundary:"},
        {"calendar trigger without StartBoundary",
         "<Triggers><CalendarTrigger><ScheduleByDay/></CalendarTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_MISSINGNODE, "(3,28):StartBoundary:"},
        {"weekly schedule without days of the week",
         "<Triggers><CalendarTrigger><StartBoundary>2024-01-01T00:00:00</StartBoundary><ScheduleByWeek><WeeksInterval>1</WeeksInterval></ScheduleByWeek></CalendarTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_MISSINGNODE, "(3,94):DaysOfWeek:"},
        {"monthly schedule without days of the month",
         "<Triggers><CalendarTrigger><StartBoundary>2024-01-01T00:00:00</StartBoundary><ScheduleByMonth><Months><May/></Months></ScheduleByMonth></CalendarTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_MISSINGNODE, "(3,95):DaysOfMonth:"},
        {"a boolean in words",
         "<Settings><Enabled>yes</Enabled></Settings><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,20):Enabled:yes"},
        {"repetition without interval",
         "<Triggers><TimeTrigger><Repetition><Duration>P1D</Duration></Repetition></TimeTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_MISSINGNODE, "(3,36):Interval:"},
        {"repetition interval under a minute",
         "<Triggers><TimeTrigger><Repetition><Interval>PT59S</Interval></Repetition></TimeTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,46):Interval:PT59S"},
        {"repetition interval over 31 days",
         "<Triggers><TimeTrigger><Repetition><Interval>P1M2D</Interval></Repetition></TimeTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,46):Interval:P1M2D"},
        {"duration in words",
         "<Settings><ExecutionTimeLimit>5 minutes</ExecutionTimeLimit></Settings><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,31):ExecutionTimeLimit:5 minutes"},
        {"negative duration",
         "<Settings><DeleteExpiredTaskAfter>-PT5M</DeleteExpiredTaskAfter></Settings><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,35):DeleteExpiredTaskAfter:-PT5M"},
        {"duration with an empty time part",
         "<Settings><ExecutionTimeLimit>P1DT</ExecutionTimeLimit></Settings><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,31):ExecutionTimeLimit:P1DT"},
        {"policy in lower case",
         "<Settings><MultipleInstancesPolicy>parallel</MultipleInstancesPolicy></Settings><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,36):MultipleInstancesPolicy:parallel"},
        {"priority 11",
         "<Settings><Priority>11</Priority></Settings><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,21):Priority:11"},
        {"restart count 0",
         "<Settings><RestartOnFailure><Interval>PT1M</Interval><Count>0</Count></RestartOnFailure></Settings><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,61):Count:0"},
        {"restart without count",
         "<Settings><RestartOnFailure><Interval>PT1M</Interval></RestartOnFailure></Settings><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_MISSINGNODE, "(3,29):Count:"},
        {"idle wait under a minute",
         "<Settings><IdleSettings><WaitTimeout>PT0S</WaitTimeout></IdleSettings></Settings><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,38):WaitTimeout:PT0S"},
        {"network id no GUID",
         "<Settings><NetworkSettings><Id>6F9619FF-8B86-D011-B42D-00C04FC964FF</Id></NetworkSettings></Settings><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,32):Id:6F9619FF-8B86-D011-B42D-00C04FC964FF"},
        {"every 366 days",
         "<Triggers><CalendarTrigger><ScheduleByDay><DaysInterval>366</DaysInterval></ScheduleByDay></CalendarTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,57):DaysInterval:366"},
        {"day 01 of the month",
         "<Triggers><CalendarTrigger><ScheduleByMonth><DaysOfMonth><Day>01</Day></DaysOfMonth></ScheduleByMonth></CalendarTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,63):Day:01"},
        {"fifth week",
         "<Triggers><CalendarTrigger><ScheduleByMonthDayOfWeek><Weeks><Week>5</Week></Weeks><DaysOfWeek><Monday/></DaysOfWeek></ScheduleByMonthDayOfWeek></CalendarTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,67):Week:5"},
        {"day of week with a value",
         "<Triggers><CalendarTrigger><ScheduleByWeek><DaysOfWeek><Monday>yes</Monday></DaysOfWeek></ScheduleByWeek></CalendarTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,64):Monday:yes"},
        {"session trigger without state change",
         "<Triggers><SessionStateChangeTrigger><UserId>u</UserId></SessionStateChangeTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_MISSINGNODE, "(3,38):StateChange:"},
        {"49 triggers",
         "<Triggers>" + times(49, "<BootTrigger/>") + "</Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_TOO_MANY_NODES, "(3,696):BootTrigger:"},
        {"run level unknown",
         "<Principals><Principal><RunLevel>Highest</RunLevel></Principal></Principals><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,34):RunLevel:Highest"},
        {"privilege unknown",
         "<Principals><Principal><RequiredPrivileges><Privilege>SeFlyPrivilege</Privilege></RequiredPrivileges></Principal></Principals><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,55):Privilege:SeFlyPrivilege"},
        {"Principals without Principal",
         "<Principals/><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_MISSINGNODE, "(3,13):Principal:"},
        {"two principals",
         "<Principals><Principal/><Principal/></Principals><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_TOO_MANY_NODES, "(3,36):Principal:"},
        {"Context naming no principal",
         "<Actions Context=\"Author\"><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,27):Context:Author"},
        {"Context naming another principal",
         "<Principals><Principal id=\"System\"/></Principals><Actions Context=\"Author\"><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,76):Context:Author"},
        {"one id twice",
         "<Triggers><BootTrigger id=\"a\"/></Triggers><Actions><Exec id=\"a\"><Command>x</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,65):id:a"},
        {"class id without braces",
         "<Actions><ComHandler><ClassId>6F9619FF-8B86-D011-B42D-00C04FC964FF</ClassId></ComHandler></Actions>",
         SCHED_E_INVALIDVALUE, "(3,31):ClassId:6F9619FF-8B86-D011-B42D-00C04FC964FF"},
        {"message without body",
         "<Actions><ShowMessage><Title>t</Title></ShowMessage></Actions>",
         SCHED_E_MISSINGNODE, "(3,23):Body:"},
        {"email without server",
         "<Actions><SendEmail><To>a@b</To></SendEmail></Actions>",
         SCHED_E_MISSINGNODE, "(3,21):Server:"},
        {"command longer than 260 characters",
         "<Actions><Exec><Command>" + std::string(261, 'c') + "</Command></Exec></Actions>",
         SCHED_E_INVALIDVALUE, "(3,25):Command:" + std::string(261, 'c') + ""},
        {"an attribute the schema does not define",
         "<Settings a=\"1\"/><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_UNEXPECTEDNODE, "(3,17):a:"},
        {"an attribute of another namespace",
         "<Actions x:id=\"a\" xmlns:x=\"urn:x\"><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_NAMESPACE, "(3,35):id:urn:x"},
        {"value query without its name",
         "<Triggers><EventTrigger><Subscription>q</Subscription><ValueQueries><Value>v</Value></ValueQueries></EventTrigger></Triggers><Actions><Exec><Command>x</Command></Exec></Actions>",
         SCHED_E_MISSINGNODE, "(3,76):name:"},
    };
    for (const auto& c : cases) {
        const Refusal refusal = refusal_of(definition(c.body));
        EXPECT_EQ(refusal.code, c.code) << c.what;
        EXPECT_EQ(refusal.description, u16(c.description)) << c.what;
    }
}

// Exported by the Task Scheduler (schtasks /Query /XML, the console's Export): a user's nightly
// job with three kinds of trigger, Windows' own order of the trigger elements, and two actions.
constexpr const char* nightly_export = R"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo>
    <Date>2024-02-29T09:15:42.1234567</Date>
    <Author>CONTOSO\alice</Author>
    <URI>\Reports\Nightly</URI>
  </RegistrationInfo>
  <Triggers>
    <CalendarTrigger>
      <StartBoundary>2024-03-01T02:00:00+01:00</StartBoundary>
      <Enabled>true</Enabled>
      <ScheduleByDay>
        <DaysInterval>1</DaysInterval>
      </ScheduleByDay>
    </CalendarTrigger>
    <TimeTrigger>
      <Repetition>
        <Interval>PT1H</Interval>
        <Duration>P1D</Duration>
        <StopAtDurationEnd>false</StopAtDurationEnd>
      </Repetition>
      <StartBoundary>2024-03-01T08:00:00</StartBoundary>
      <EndBoundary>2025-03-01T08:00:00Z</EndBoundary>
      <ExecutionTimeLimit>PT30M</ExecutionTimeLimit>
      <Enabled>true</Enabled>
      <RandomDelay>PT5M</RandomDelay>
    </TimeTrigger>
    <LogonTrigger>
      <Enabled>false</Enabled>
      <UserId>CONTOSO\alice</UserId>
      <Delay>PT30S</Delay>
    </LogonTrigger>
  </Triggers>
  <Principals>
    <Principal id="Author">
      <UserId>S-1-5-21-1004336348-1177238915-682003330-1001</UserId>
      <LogonType>InteractiveToken</LogonType>
      <RunLevel>LeastPrivilege</RunLevel>
    </Principal>
  </Principals>
  <Settings>
    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>
    <DisallowStartIfOnBatteries>true</DisallowStartIfOnBatteries>
    <StopIfGoingOnBatteries>true</StopIfGoingOnBatteries>
    <AllowHardTerminate>true</AllowHardTerminate>
    <StartWhenAvailable>false</StartWhenAvailable>
    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>
    <IdleSettings>
      <Duration>PT10M</Duration>
      <WaitTimeout>PT1H</WaitTimeout>
      <StopOnIdleEnd>true</StopOnIdleEnd>
      <RestartOnIdle>false</RestartOnIdle>
    </IdleSettings>
    <AllowStartOnDemand>true</AllowStartOnDemand>
    <Enabled>true</Enabled>
    <Hidden>false</Hidden>
    <RunOnlyIfIdle>false</RunOnlyIfIdle>
    <WakeToRun>false</WakeToRun>
    <ExecutionTimeLimit>PT72H</ExecutionTimeLimit>
    <Priority>7</Priority>
    <RestartOnFailure>
      <Interval>PT5M</Interval>
      <Count>3</Count>
    </RestartOnFailure>
  </Settings>
  <Actions Context="Author">
    <Exec>
      <Command>C:\Tools\report.exe</Command>
      <Arguments>--nightly "C:\Reports\out dir"</Arguments>
      <WorkingDirectory>C:\Reports</WorkingDirectory>
    </Exec>
    <Exec>
      <Command>%SystemRoot%\System32\cmd.exe</Command>
      <Arguments>/c echo done</Arguments>
    </Exec>
  </Actions>
</Task>
)";

// A maintenance task of the local system: every kind of trigger and of action, the calendar's
// schedules, privileges, network settings and free-form data.
constexpr const char* maintenance_export = R"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.3" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo>
    <Source>Contoso</Source>
    <Version>1.0</Version>
    <Description>Weekly maintenance</Description>
    <Documentation>See the runbook.</Documentation>
    <SecurityDescriptor>D:(A;;FA;;;BA)(A;;FRFX;;;AU)</SecurityDescriptor>
  </RegistrationInfo>
  <Triggers>
    <BootTrigger id="boot">
      <Enabled>true</Enabled>
      <Delay>PT2M</Delay>
    </BootTrigger>
    <EventTrigger>
      <Enabled>true</Enabled>
      <Subscription>&lt;QueryList&gt;&lt;Query Id="0" Path="System"&gt;&lt;Select Path="System"&gt;*[System[EventID=41]]&lt;/Select&gt;&lt;/Query&gt;&lt;/QueryList&gt;</Subscription>
      <ValueQueries>
        <Value name="id">Event/System/EventID</Value>
      </ValueQueries>
    </EventTrigger>
    <SessionStateChangeTrigger>
      <Enabled>true</Enabled>
      <StateChange>SessionUnlock</StateChange>
    </SessionStateChangeTrigger>
    <CalendarTrigger>
      <StartBoundary>2024-01-01T03:00:00</StartBoundary>
      <Enabled>true</Enabled>
      <ScheduleByWeek>
        <DaysOfWeek>
          <Monday />
          <Friday />
        </DaysOfWeek>
        <WeeksInterval>2</WeeksInterval>
      </ScheduleByWeek>
    </CalendarTrigger>
    <CalendarTrigger>
      <StartBoundary>2024-01-01T03:00:00</StartBoundary>
      <ScheduleByMonth>
        <DaysOfMonth>
          <Day>1</Day>
          <Day>Last</Day>
        </DaysOfMonth>
        <Months>
          <January />
          <July />
        </Months>
      </ScheduleByMonth>
    </CalendarTrigger>
    <CalendarTrigger>
      <StartBoundary>2024-01-01T03:00:00</StartBoundary>
      <RandomDelay>PT1H</RandomDelay>
      <ScheduleByMonthDayOfWeek>
        <Weeks>
          <Week>2</Week>
          <Week>Last</Week>
        </Weeks>
        <DaysOfWeek>
          <Sunday />
        </DaysOfWeek>
      </ScheduleByMonthDayOfWeek>
    </CalendarTrigger>
    <RegistrationTrigger>
      <Enabled>true</Enabled>
    </RegistrationTrigger>
    <IdleTrigger>
      <Enabled>true</Enabled>
    </IdleTrigger>
  </Triggers>
  <Principals>
    <Principal id="LocalSystem">
      <UserId>S-1-5-18</UserId>
      <RunLevel>HighestAvailable</RunLevel>
      <ProcessTokenSidType>Unrestricted</ProcessTokenSidType>
      <RequiredPrivileges>
        <Privilege>SeBackupPrivilege</Privilege>
        <Privilege>SeRestorePrivilege</Privilege>
      </RequiredPrivileges>
    </Principal>
  </Principals>
  <Settings>
    <MultipleInstancesPolicy>Queue</MultipleInstancesPolicy>
    <NetworkProfileName>Office</NetworkProfileName>
    <NetworkSettings>
      <Name>Office</Name>
      <Id>{6F9619FF-8B86-D011-B42D-00C04FC964FF}</Id>
    </NetworkSettings>
    <DeleteExpiredTaskAfter>P30D</DeleteExpiredTaskAfter>
    <UseUnifiedSchedulingEngine>true</UseUnifiedSchedulingEngine>
    <DisallowStartOnRemoteAppSession>false</DisallowStartOnRemoteAppSession>
    <Priority>4</Priority>
  </Settings>
  <Data>&lt;anything/&gt; goes</Data>
  <Actions Context="LocalSystem">
    <ComHandler>
      <ClassId>{D7A6E6D0-24F8-4E6F-9E61-7A0D4B6C1F35}</ClassId>
      <Data><![CDATA[cleanup]]></Data>
    </ComHandler>
    <Exec id="run">
      <Command>C:\Tools\maintain.exe</Command>
    </Exec>
    <SendEmail>
      <Server>smtp.contoso.com</Server>
      <Subject>Maintenance done</Subject>
      <To>ops@contoso.com</To>
      <From>tasks@contoso.com</From>
      <HeaderFields>
        <HeaderField>
          <Name>X-Task</Name>
          <Value>maintenance</Value>
        </HeaderField>
      </HeaderFields>
      <Body>ok</Body>
      <Attachments>
        <File>C:\Logs\maintain.log</File>
      </Attachments>
    </SendEmail>
    <ShowMessage>
      <Title>Done</Title>
      <Body>Maintenance finished</Body>
    </ShowMessage>
  </Actions>
</Task>
)";

// Written by hand rather than exported: a prefix for the task namespace, a group principal,
// values with blanks around them, empty optional containers, an attribute of XML itself.
constexpr const char* hand_written = R"(<t:Task xmlns:t="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <t:Triggers/>
  <t:Principals><t:Principal id="Users"><t:GroupId>S-1-5-32-545</t:GroupId></t:Principal></t:Principals>
  <t:Settings xml:space="preserve">
    <t:Priority>
      10
    </t:Priority>
    <t:ExecutionTimeLimit>PT0.5S</t:ExecutionTimeLimit>
  </t:Settings>
  <t:Actions Context="Users"><t:Exec><t:Command>/bin/true</t:Command></t:Exec></t:Actions>
</t:Task>)";

TEST_F(TaskSchema, ExportedDefinitionsAreAccepted) {
    // The nightly export runs as accounts of another computer: its schema passes, and registering
    // it here answers what Windows answers for an account the computer does not know.
    EXPECT_EQ(register_task(u"Exported", u16(nightly_export), TASK_VALIDATE_ONLY), S_OK);
    EXPECT_EQ(register_task(u"Exported", u16(nightly_export)), HRESULT_FROM_WIN32(ERROR_NONE_MAPPED));
    for (const char* xml : {maintenance_export, hand_written}) {
        SCOPED_TRACE(xml);
        ASSERT_EQ(register_task(u"Exported", u16(xml)), S_OK);
        Ref<IRegisteredTask> task;
        EXPECT_EQ(get_task(u"Exported", &task), S_OK);  // read back, it passes the checks again
    }
}

// Near the size bound, each shape is answered in one pass: refused at its first fault however
// much follows, or accepted after reading each value once. Timed against a definition of the same
// size that is only parsed (one long text), the quickest of three tries each, so that the machine's
// speed and load cancel out: one pass costs about what parsing does (0.7 to 1.5 times here), a
// second pass over each element's siblings would cost thousands of times more.
TEST_F(TaskSchema, LargeDefinitionsOfEveryShapeAnswerInOnePass) {
    const std::string actions = "<Actions><Exec><Command>x</Command></Exec></Actions>";
    const std::string shapes[] = {
        "<Triggers><CalendarTrigger><ScheduleByMonth><DaysOfMonth>" + times(60000, "<Day>1</Day>") +
            "</DaysOfMonth></ScheduleByMonth></CalendarTrigger></Triggers>" + actions,
        times(60000, "<Settings/>") + actions,
        "<Settings><ExecutionTimeLimit>P" + std::string(900000, '9') + "D</ExecutionTimeLimit></Settings>" + actions,
        "<Settings><Priority>" + std::string(900000, '0') + "7</Priority></Settings>" + actions,
        "<Data>" + times(60000, "<x a='1'/>") + "</Data>" + actions,
        "<Actions>" + times(30000, "<Exec><Command>x</Command></Exec>") + "</Actions>",
    };
    const auto quickest = [this](const std::string& body) {
        auto best = std::chrono::steady_clock::duration::max();
        for (int attempt = 0; attempt < 3; ++attempt) {
            const auto start = std::chrono::steady_clock::now();
            (void)register_task(u"Large", definition(body));
            best = std::min(best, std::chrono::steady_clock::now() - start);
        }
        return best;
    };
    const auto parsing = quickest("<RegistrationInfo><Description>" + std::string(900000, 'd') +
                                  "</Description></RegistrationInfo>" + actions);
    for (const std::string& body : shapes) {
        EXPECT_LT(quickest(body), 10 * parsing) << body.substr(0, 80);
    }
}

}  // namespace
