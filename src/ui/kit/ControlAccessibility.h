#pragma once

// What assistive tools (screen readers, switch access) make of the kit's
// painted controls: the progress bar and the volume slider are sliders whose
// value they read and set, named by the controls' accessible names (the
// screens give them). Buttons need nothing here: Qt describes a PlainButton
// as a push button named by its text (set it with setText(); it is not drawn).
namespace ControlAccessibility {

// Tells Qt how to describe the controls. Once is enough; more is harmless.
void install();

}  // namespace ControlAccessibility
