#pragma once
// The class family of the program's settings. Every setting is one global object named by its
// key in parameters.xml (settings.hpp); the objects live for the whole process.
//
// Current values are read and written from several threads (GUI, run, readers), so each
// `value` is a thread-safe holder: scalars are std::atomic (X.value.load() / X.value.store(v)),
// texts a SharedText with the same load()/store(). No reader relies on two settings changing
// together.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "foundation/shared_text.hpp"

class Parameter {
 public:
  explicit Parameter(std::string parameterName) : name(std::move(parameterName)) {}
  Parameter(const Parameter&) = delete;
  Parameter& operator=(const Parameter&) = delete;
  virtual ~Parameter() = default;

  const std::string name;  // the key in parameters.xml and airport files; a caption for NamedControl
};

class BoolParameter : public Parameter {
 public:
  BoolParameter(std::string parameterName, bool defaultVal)
      : Parameter(std::move(parameterName)), defaultValue(defaultVal), value(defaultVal) {}

  const bool defaultValue;
  std::atomic<bool> value;
};

class IntParameter : public Parameter {
 public:
  IntParameter(std::string parameterName, std::int32_t defaultVal, std::int32_t minVal,
               std::int32_t maxVal)
      : Parameter(std::move(parameterName)),
        defaultValue(defaultVal),
        minValue(minVal),
        maxValue(maxVal),
        value(defaultVal) {}

  // The value bounded to [minValue, maxValue], as every load and restore applies it.
  std::int32_t bounded(std::int32_t v) const {
    return v > maxValue ? maxValue : (v < minValue ? minValue : v);
  }

  const std::int32_t defaultValue;
  const std::int32_t minValue;
  const std::int32_t maxValue;
  std::atomic<std::int32_t> value;
};

class FloatParameter : public Parameter {
 public:
  FloatParameter(std::string parameterName, float defaultVal, float minVal, float maxVal)
      : Parameter(std::move(parameterName)),
        defaultValue(defaultVal),
        minValue(minVal),
        maxValue(maxVal),
        value(defaultVal) {}

  const float defaultValue;
  const float minValue;
  const float maxValue;
  std::atomic<float> value;
};

class StringParameter : public Parameter {
 public:
  StringParameter(std::string parameterName, std::string defaultVal)
      : Parameter(std::move(parameterName)),
        defaultValue(defaultVal),
        value(std::move(defaultVal)) {}

  // Only PROGRAM_VERSION's default ever changes (a full write with defaults sets it to the
  // program's version); that happens under the parameters.xml store lock on the run thread.
  std::string defaultValue;
  SharedText value;
};

// Second base of every setting shown in the main window and of NamedControl. The handles are
// opaque here; the window code casts them to its own types.
class ParameterControl {
 public:
  ParameterControl(std::uint16_t id, std::uint32_t row) : controlId(id), y(row) {}
  ParameterControl(const ParameterControl&) = delete;
  ParameterControl& operator=(const ParameterControl&) = delete;
  virtual ~ParameterControl() = default;

  const std::uint16_t controlId;  // child-window id and WM_COMMAND id
  const std::uint32_t y;          // top of the control's row in the client area
  void* hwnd = nullptr;           // set once by the window on creation, before any run starts
  void* previousWndProc = nullptr;  // the replaced procedure of a subclassed edit box
};

class CheckBoxParameter : public BoolParameter, public ParameterControl {
 public:
  CheckBoxParameter(std::string parameterName, bool defaultVal, std::uint16_t id,
                    std::uint32_t row)
      : BoolParameter(std::move(parameterName), defaultVal), ParameterControl(id, row) {}
};

// Index of the first entry equal to v, or -1 (the combo box selection of a value).
template <typename T>
int lf_indexOfAllowed(const std::vector<T>& allowed, T v) {
  for (std::size_t i = 0; i < allowed.size(); ++i)
    if (allowed[i] == v) return static_cast<int>(i);
  return -1;
}

class ComboBoxParameter : public IntParameter, public ParameterControl {
 public:
  // minValue is the first allowed value, maxValue the last.
  ComboBoxParameter(std::string parameterName, std::int32_t defaultVal,
                    std::vector<int> allowed, std::uint16_t id, std::uint32_t row)
      : IntParameter(std::move(parameterName), defaultVal, allowed.empty() ? 0 : allowed.front(),
                     allowed.empty() ? 0 : allowed.back()),
        ParameterControl(id, row),
        allowedValues(std::move(allowed)) {}

  // Index of the first allowed value equal to v, or -1.
  int indexOf(std::int32_t v) const { return lf_indexOfAllowed(allowedValues, v); }

  const std::vector<int> allowedValues;
};

// The float form of the combo box (AMAX_FIT_FL).
class FloatComboBoxParameter : public FloatParameter, public ParameterControl {
 public:
  FloatComboBoxParameter(std::string parameterName, float defaultVal, std::vector<float> allowed,
                         std::uint16_t id, std::uint32_t row)
      : FloatParameter(std::move(parameterName), defaultVal,
                       allowed.empty() ? 0.0f : allowed.front(),
                       allowed.empty() ? 0.0f : allowed.back()),
        ParameterControl(id, row),
        allowedValues(std::move(allowed)) {}

  int indexOf(float v) const { return lf_indexOfAllowed(allowedValues, v); }

  const std::vector<float> allowedValues;
};

class EditParameter : public StringParameter, public ParameterControl {
 public:
  EditParameter(std::string parameterName, std::string defaultVal, std::uint16_t id,
                std::uint32_t row)
      : StringParameter(std::move(parameterName), std::move(defaultVal)),
        ParameterControl(id, row) {}
};

// A text setting chosen in a combo box filled from a shared list (CALLSIGN_2_OBJECTID).
class StringChoiceParameter : public EditParameter {
 public:
  StringChoiceParameter(std::string parameterName, std::string defaultVal, std::uint16_t id,
                        std::uint32_t row, std::shared_ptr<std::vector<std::string>> list)
      : EditParameter(std::move(parameterName), std::move(defaultVal), id, row),
        choices(std::move(list)) {}

  const std::shared_ptr<std::vector<std::string>> choices;
};

// A button of the main window: a caption and a control, no value, never saved.
class NamedControl : public Parameter, public ParameterControl {
 public:
  NamedControl(std::string caption, std::uint16_t id, std::uint32_t row)
      : Parameter(std::move(caption)), ParameterControl(id, row) {}
};

// When the window has created the combo box: empty it, add every allowed value as decimal text
// and select the current value (no selection when the value is not among them).
void gf_fillParameterComboBox(ComboBoxParameter& parameter);
// Shows the current text of an edit parameter in its control; never throws.
void gf_showStringParameterInControl(EditParameter& parameter) noexcept;
