// Look-ups in the job parameter string a module gets with command 3.
#ifndef TOVEFILT_JOB_PARAMS_H
#define TOVEFILT_JOB_PARAMS_H

#include <optional>
#include <string>
#include <string_view>

// The value of the last "key=value;" entry with this exact key, if any.
std::optional<std::string_view> jobParamValue(std::string_view params, std::string_view key);

// The reply to command 17: page set-up pairs, each closed by ';', then a NUL.
std::string pageAttrReply(std::string_view params);

#endif // TOVEFILT_JOB_PARAMS_H
