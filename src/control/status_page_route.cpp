#include "control/control_routes.h"
#include "control/status_page.h"

namespace {

constexpr const char* kHtmlContentType = "text/html; charset=utf-8";

}  // namespace

// The page holds no data: its script asks the API for everything, with the token the user typed.
// So the page itself is served to anyone who can reach the interface.
void AnswerStatusPage(const httplib::Request&, httplib::Response& response)
{
    response.set_content(StatusPageHtml(), kHtmlContentType);
}
