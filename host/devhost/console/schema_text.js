// How a schema of the OpenAPI document reads on the page: "string",
// "integer 0…255", "array of string", or the name of the record it refers
// to.

export function referenceName(reference) {
  return reference.slice(reference.lastIndexOf("/") + 1);
}

// The record a reference names, from the document's components; any other
// schema as it is.
export function resolve(openApi, schema) {
  return schema?.$ref ? openApi.components?.schemas?.[referenceName(schema.$ref)] : schema;
}

export function schemaText(schema) {
  if (!schema || Object.keys(schema).length === 0) return "any";
  if (schema.$ref) return referenceName(schema.$ref);
  if (schema.type === "array") return `array of ${schemaText(schema.items)}`;
  if (schema.additionalProperties) return `map of ${schemaText(schema.additionalProperties)}`;
  if (schema.enum) return `one of ${schema.enum.join(", ")}`;
  if (schema.minimum !== undefined) {
    // A 64-bit maximum does not survive JSON.parse exactly.
    return Number.isSafeInteger(schema.maximum)
      ? `${schema.type} ${schema.minimum}…${schema.maximum}`
      : `${schema.type} ≥ ${schema.minimum}`;
  }
  return schema.format ? `${schema.type} (${schema.format})` : schema.type ?? "any";
}
