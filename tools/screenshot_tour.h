// The screenshot tour: the documentation's pictures taken from the running program.
//
// Started by pelvok-screenshot-tour on the interactive program's back end. Like a user, it
// picks menu items, types into the dialogs and presses their buttons, while the program
// talks to a real RADIUS server (scripts/screenshots.sh starts one): alice is accepted, bob
// rejected, carol challenged and answered with her PIN. It saves main-window.png,
// session-details.png, challenge.png, options.png and about.png into the folder, then picks
// Exit. A step that does not come within its time ends the tour (and the program) with a
// message on standard error.
#pragma once

// Needs the Qt application; the tour lives until the program ends.
void StartScreenshotTour(const char* folder);
