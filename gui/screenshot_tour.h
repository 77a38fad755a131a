// The screenshot tour: the documentation's pictures taken from the running program.
//
// Started when the environment variable PELVOK_SCREENSHOT_TOUR names a folder. Like a user,
// it picks menu items, types into the dialogs and presses their buttons, while the program
// talks to a real RADIUS server (scripts/screenshots.sh starts one): alice is accepted, bob
// rejected, carol challenged and answered with her PIN. It saves main-window.png,
// session-details.png, challenge.png, options.png and about.png into the folder, then picks
// Exit. A step that does not come within its time ends the tour (and the program) with a
// message on standard error.
#pragma once

class QtPlatform;

void StartScreenshotTour(QtPlatform& platform, const char* folder);
