#pragma once

// VBScript's RegExp object (New RegExp, CreateObject("VBScript.RegExp")) with
// its Matches, Match and SubMatches. Internal to the engine.

#include <memory>

class ScriptObject;

namespace script {

std::shared_ptr<ScriptObject> makeRegExp();

} // namespace script
