#pragma once

// Start and stop of the XML library around one command. Both return false instead of throwing.
bool initializeXerces();
bool terminateXerces();
