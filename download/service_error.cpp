#include "download/service_error.h"

#include "common/text.h"
#include "download/run_messages.h"
#include "json/json.h"

namespace orva {

std::wstring serviceErrorMessage(const HttpResponse& response, std::string_view what) {
    JsonValue root;
    std::string parseError;  // not shown: a body that is no JSON gets the status form
    if (parseJson(response.body, root, parseError) && root.kind == JsonKind::kObject) {
        const JsonValue* error = root.find("error");
        if (error != nullptr && error->kind == JsonKind::kString && !error->text.empty()) {
            return utf8ToWide(error->text);
        }
    }
    return serviceStatusReason(what, response.status);
}

}  // namespace orva
