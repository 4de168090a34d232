#pragma once
// Placeholder for the simulated server.
