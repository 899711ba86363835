#pragma once

// The status page that GET / serves: one HTML file with its script and style, built into the
// program from src/control/status_page.html, so that it needs nothing from the internet.
const char* StatusPageHtml();
