#pragma once

// Lets Qt build the accessible interface of every TextBox, which lives apart from the box so that the
// box never needs to know it; safe to call more than once.
void installTextBoxAccessibility();
