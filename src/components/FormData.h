// The form data: the stored properties of a form's components in a small text format, and its
// reader and writer.
//
//   # a comment
//   object fg TFilterGraph
//     AutoCreate = True
//     Mode = gmCapture
//   end
//   object sg TSampleGrabber
//     FilterGraph = fg
//     MediaType.data = hex:766964730000100080000...
//   end
//
// One component per "object NAME CLASS ... end" block, one property per line. Values are a
// bare word (True, gmCapture, 42, a component name), a quoted text ("..." with \" \\ \n
// escapes) or a byte block ("hex:" and two hexadecimal digits per byte, possibly empty).
//
// Reading creates each component by its class name (the classes of this layer are known; the
// layers above register theirs), names it, hands it to the form's root component (its owner),
// then gives every component its stored properties (references to other components resolve
// against the form, or "form.name" against the other roots given), and finally calls Loaded
// on each, in file order. Errors (unknown class or property, malformed value) raise
// EReadError naming the line; components created before the error stay with their owner.
//
// UI thread only.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "Component.h"
#include "Persistent.h"

class QWidget;

// Creates a component of one class; `parent` is the form's widget for controls (may be null).
using TComponentFactory = std::function<std::unique_ptr<TComponent>(QWidget* parent)>;

// Makes a class known to the reader (replacing a previous factory of that name).
void RegisterComponentClass(const QString& className, TComponentFactory factory);
bool IsComponentClassRegistered(const QString& className);

class TFormReader {
 public:
  // `root` owns the components read; `otherRoots` are the forms "form.name" references name.
  explicit TFormReader(TComponent& root, std::vector<TComponent*> otherRoots = {});
  // Reads the form data; returns the components created, in file order.
  std::vector<TComponent*> Read(const QString& text);
  // Gives stored properties to an existing component (no creation, no Loaded).
  void ReadProperties(TComponent& component, const QString& propertyLines);

 private:
  TComponent& root_;
  std::vector<TComponent*> otherRoots_;
};

class TFormWriter {
 public:
  // Writes every component `root` owns, in ownership order.
  static QString Write(const TComponent& root);
  // Writes one component's block.
  static QString WriteComponent(TComponent& component);
};
