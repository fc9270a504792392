// A framework program that forgot to define its application object.
