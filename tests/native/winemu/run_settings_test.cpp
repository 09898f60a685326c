// run_settings_test.cpp: the run settings read from a definition, and xs:duration as seconds.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <memory>
#include <string>

#include "library/run_settings.hpp"

namespace {

using winemu::InstancesPolicy;

TEST(RunSettings, DurationsAsTheSchemaWritesThem) {
    const struct {
        const char* text;
        double seconds;  // negative: refused
    } cases[] = {
        {"PT72H", 72 * 3600.0}, {"P1DT2H30M", 86400 + 2 * 3600 + 1800.0}, {"PT0S", 0}, {"PT0.5S", 0.5},
        {"P1M", 30 * 86400.0},  {"P1Y", 365 * 86400.0},  {"PT1M", 60},  // M: months before T, minutes after
        {"P", -1}, {"PT", -1}, {"72H", -1}, {"P1H", -1}, {"PT1D", -1}, {"PT-1S", -1}, {"PT1", -1}, {"PTT1S", -1},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(winemu::duration_seconds(c.text), c.seconds) << c.text;
}

TEST(RunSettings, ReadFromTheSettingsElementElseTheSchemaDefaults) {
    const auto with = [](const std::string& settings) {
        const std::string xml = R"(<Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">)"
                                "<Settings>" + settings + "</Settings><Actions/></Task>";
        const std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document(
            xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, 0), xmlFreeDoc);
        return winemu::read_run_settings(xmlDocGetRootElement(document.get()));
    };
    const struct {
        std::string settings;
        bool on_demand;
        InstancesPolicy instances;
        double limit;
    } cases[] = {
        {"", true, InstancesPolicy::ignore_new, 72 * 3600.0},
        {"<AllowStartOnDemand>false</AllowStartOnDemand>", false, InstancesPolicy::ignore_new, 72 * 3600.0},
        {"<MultipleInstancesPolicy> Queue </MultipleInstancesPolicy>", true, InstancesPolicy::queue, 72 * 3600.0},
        {"<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy><ExecutionTimeLimit>PT0S</ExecutionTimeLimit>",
         true, InstancesPolicy::parallel, 0},
        {"<MultipleInstancesPolicy>StopExisting</MultipleInstancesPolicy>", true, InstancesPolicy::stop_existing,
         72 * 3600.0},
        {"<ExecutionTimeLimit>soon</ExecutionTimeLimit>", true, InstancesPolicy::ignore_new, 72 * 3600.0},
        // xs:boolean's 0 is false; a limit past what the run's clock counts is kept at a century.
        {"<AllowStartOnDemand> 0 </AllowStartOnDemand>", false, InstancesPolicy::ignore_new, 72 * 3600.0},
        {"<ExecutionTimeLimit>P300000000000Y</ExecutionTimeLimit>", true, InstancesPolicy::ignore_new,
         100.0 * 365 * 86400},
        // Elements of another namespace are not the task's settings.
        {R"(<AllowStartOnDemand xmlns="urn:other">false</AllowStartOnDemand>)", true, InstancesPolicy::ignore_new,
         72 * 3600.0},
    };
    for (const auto& c : cases) {
        const winemu::RunSettings read = with(c.settings);
        EXPECT_EQ(read.allow_start_on_demand, c.on_demand) << c.settings;
        EXPECT_EQ(read.instances, c.instances) << c.settings;
        EXPECT_DOUBLE_EQ(read.time_limit, c.limit) << c.settings;
    }
}

}  // namespace
